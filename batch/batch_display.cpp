#include "batch/batch_display.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <utility>

namespace etherm {

namespace {

// Before this much wall time a rate is mostly the start-up of the run.
constexpr double kRateAfterSeconds = 2.0;

std::string Number(double x, int digits = 6) {
  char buf[32];
  auto res = std::to_chars(buf, buf + sizeof buf, x, std::chars_format::general, digits);
  return std::string(buf, res.ptr);
}

// "42 s", "3 min 05 s", "2 h 04 min": as precise as a guess of the time left deserves.
std::string Duration(double seconds) {
  const long s = std::lround(seconds);
  char text[48];
  if (s < 60) {
    std::snprintf(text, sizeof text, "%ld s", s);
  } else if (s < 3600) {
    std::snprintf(text, sizeof text, "%ld min %02ld s", s / 60, s % 60);
  } else {
    std::snprintf(text, sizeof text, "%ld h %02ld min", s / 3600, s / 60 % 60);
  }
  return text;
}

}  // namespace

BatchDisplay::BatchDisplay(const AnalysisState& state, AnalysisKind analysis, std::FILE* out,
                           bool terminal, bool verbose, Clock clock)
    : state_(state),
      analysis_(analysis),
      out_(out),
      terminal_(terminal),
      verbose_(verbose),
      clock_(std::move(clock)),
      start_(std::chrono::steady_clock::now()) {}

double BatchDisplay::Now() const {
  if (clock_) return clock_();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
}

std::string BatchDisplay::ProgressText() const {
  return ProgressText(Now());
}

std::string BatchDisplay::ProgressText(double wallSeconds) const {
  std::string text = "iteration " + std::to_string(state_.iterationNumber);
  if (analysis_ == AnalysisKind::kDc) {
    text += ", sweep value " + Number(state_.sweepValue) + " of " + Number(state_.problem.sweepEnd);
    return text;
  }
  const double accepted = state_.windowStartTime;
  const double end = state_.problem.endTime;
  text += ", accepted up to " + Number(accepted) + " s of " + Number(end) + " s";
  if (simulated_) text += ", simulating " + Number(*simulated_) + " s";
  if (wallSeconds >= kRateAfterSeconds && accepted > 0 && accepted < end) {
    const double rate = accepted / wallSeconds;
    text +=
        ", " + Number(rate, 3) + " s per s, about " + Duration((end - accepted) / rate) + " left";
  }
  return text;
}

void BatchDisplay::StatusChanged(StatusLine, std::string_view text) {
  if (terminal_) {
    if (progressShown_) std::fputs("\r\033[K", out_);
    if (verbose_) {
      std::fwrite(text.data(), 1, text.size(), out_);
      std::fputc('\n', out_);
    }
    std::fputs(ProgressText().c_str(), out_);
    progressShown_ = true;
  } else if (verbose_) {
    std::fwrite(text.data(), 1, text.size(), out_);
    std::fputc('\n', out_);
  } else {
    const double now = Now();
    if (now - lastProgressLine_ < kProgressLineInterval) return;
    lastProgressLine_ = now;
    std::fputs((ProgressText(now) + "\n").c_str(), out_);
  }
  std::fflush(out_);
}

void BatchDisplay::IterationStarted(int) {
  simulated_.reset();
}

void BatchDisplay::SimulatorAdvanced(double time) {
  simulated_ = time;
  if (!terminal_) return;
  std::fputs("\r\033[K", out_);
  std::fputs(ProgressText().c_str(), out_);
  progressShown_ = true;
  std::fflush(out_);
}

void BatchDisplay::Warning(std::string_view text) {
  if (terminal_ && progressShown_) std::fputs("\r\033[K", out_);
  std::fputs("etherm-batch: warning: ", out_);
  std::fwrite(text.data(), 1, text.size(), out_);
  std::fputc('\n', out_);
  if (terminal_ && progressShown_) std::fputs(ProgressText().c_str(), out_);
  std::fflush(out_);
}

void BatchDisplay::Finish() {
  if (terminal_ && progressShown_) std::fputs("\r\033[K", out_);
  progressShown_ = false;
  std::fflush(out_);
}

}  // namespace etherm
