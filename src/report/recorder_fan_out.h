#pragma once

#include <initializer_list>
#include <vector>

#include "report/run_recorder.h"

namespace quorvane::report {

// Tells several recorders of a run, in the order given; none is owned.
class RecorderFanOut : public RunRecorder {
 public:
  RecorderFanOut(std::initializer_list<RunRecorder*> recorders) : recorders_(recorders) {}

  void RunStarted(const data::DateTime& start) override {
    for (RunRecorder* r : recorders_) r->RunStarted(start);
  }
  void SectionStarted(std::string_view heading, std::string_view anchor) override {
    for (RunRecorder* r : recorders_) r->SectionStarted(heading, anchor);
  }
  void SectionSkipped(std::string_view setting) override {
    for (RunRecorder* r : recorders_) r->SectionSkipped(setting);
  }
  void QueryStarted(std::string_view command) override {
    for (RunRecorder* r : recorders_) r->QueryStarted(command);
  }
  void ResultSetStarted(const std::vector<data::Field>& fields) override {
    for (RunRecorder* r : recorders_) r->ResultSetStarted(fields);
  }
  void RowFetched(const std::vector<data::Value>& row) override {
    for (RunRecorder* r : recorders_) r->RowFetched(row);
  }
  void ResultSetEnded() override {
    for (RunRecorder* r : recorders_) r->ResultSetEnded();
  }
  void ErrorRaised(const std::exception& error) override {
    for (RunRecorder* r : recorders_) r->ErrorRaised(error);
  }
  void SectionInterrupted(std::string_view reason) override {
    for (RunRecorder* r : recorders_) r->SectionInterrupted(reason);
  }
  void RunInterrupted(std::string_view reason) override {
    for (RunRecorder* r : recorders_) r->RunInterrupted(reason);
  }

 private:
  std::vector<RunRecorder*> recorders_;
};

}  // namespace quorvane::report
