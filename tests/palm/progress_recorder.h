#pragma once
// Records what a conversion reports, as "start N", "step" counts and "finish".

#include <string>
#include <vector>

#include "palm/progress.h"

namespace kve::palm {

class ProgressRecorder final : public PdbProgress {
 public:
  void Start(int records) override { events.push_back("start " + std::to_string(records)); }
  void Step() override {
    if (events.empty() || events.back().rfind("step", 0) != 0) events.push_back("step 0");
    events.back() = "step " + std::to_string(std::stoi(events.back().substr(5)) + 1);
  }
  void Finish() override { events.push_back("finish"); }

  std::vector<std::string> events;
};

}  // namespace kve::palm
