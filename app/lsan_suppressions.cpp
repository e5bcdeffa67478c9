// fontconfig keeps its font patterns until the process ends, which LeakSanitizer (in the
// sanitizer builds) would report as leaks of every program that draws text.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\n";
}
