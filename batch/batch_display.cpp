#include "batch/batch_display.h"

#include <charconv>

namespace etherm {

namespace {
std::string Number(double x) {
  char buf[32];
  auto res = std::to_chars(buf, buf + sizeof buf, x, std::chars_format::general, 6);
  return std::string(buf, res.ptr);
}
}  // namespace

std::string BatchDisplay::ProgressText() const {
  std::string text = "iteration " + std::to_string(state_.iterationNumber);
  if (analysis_ == Analysis::kDc) {
    text += ", sweep value " + Number(state_.sweepValue) + " of " + Number(state_.analysisEnd);
  } else {
    text += ", accepted up to " + Number(state_.windowStartTime) + " s of " +
            Number(state_.analysisEnd) + " s";
  }
  return text;
}

void BatchDisplay::StatusChanged(StatusLine, std::string_view text) {
  if (terminal_ && progressShown_) std::fputs("\r\033[K", out_);
  std::fwrite(text.data(), 1, text.size(), out_);
  std::fputc('\n', out_);
  if (terminal_) {
    const std::string progress = ProgressText();
    std::fputs(progress.c_str(), out_);
    progressShown_ = true;
  }
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
