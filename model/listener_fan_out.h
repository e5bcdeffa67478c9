#pragma once

#include <vector>

#include "model/analysis_listener.h"

namespace etherm {

// Hands every report to each listener in turn, so front ends can combine independent ones.
class ListenerFanOut : public AnalysisListener {
 public:
  void Add(AnalysisListener* listener) { listeners_.push_back(listener); }

  void StatusChanged(StatusLine line, std::string_view text) override {
    for (auto* l : listeners_) l->StatusChanged(line, text);
  }
  void IterationStarted(int iteration) override {
    for (auto* l : listeners_) l->IterationStarted(iteration);
  }
  void IterationFinished(const IterationReport& report) override {
    for (auto* l : listeners_) l->IterationFinished(report);
  }
  void Warning(std::string_view text) override {
    for (auto* l : listeners_) l->Warning(text);
  }
  void Accepted(std::span<const AcceptedPoint> rows) override {
    for (auto* l : listeners_) l->Accepted(rows);
  }
  void LoopGainFound(const LoopGainReport& report) override {
    for (auto* l : listeners_) l->LoopGainFound(report);
  }
  void SimulatorAdvanced(double time) override {
    for (auto* l : listeners_) l->SimulatorAdvanced(time);
  }

 private:
  std::vector<AnalysisListener*> listeners_;
};

}  // namespace etherm
