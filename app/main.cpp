// Program entry: the main window and its event loop; no command-line arguments.
#include <FL/Fl.H>

#include <exception>

#include "app/failure_box.h"
#include "app/language.h"
#include "app/main_window.h"
#include "model/analysis_state.h"

int main() {
  // The window speaks the user's language; the files of a run do not change with it.
  etherm::SelectLanguage();
  try {
    // The one analysis state lives for the whole program and outlives the window.
    static etherm::AnalysisState state;
    etherm::MainWindow window(state);
    window.show();
    return Fl::run();
  } catch (const std::exception& failure) {
    etherm::ShowFailureBox(failure.what());
    return 1;
  }
}
