#include "lights/ola/OlaOutput.h"

#include <string>

namespace kalindor {

namespace {

// Until the OLA client is wired in, the universe shows as never connected.
class UnconnectedOlaOutput final : public LightOutput {
  public:
    explicit UnconnectedOlaOutput(const OlaOutputOptions& options) : options_(options) {}
    std::string name() const override { return "OLA " + std::to_string(options_.universe); }
    void show(const LightFrame&) override {}
    void setRunning(bool) override {}
    bool connected() const override { return false; }

  private:
    OlaOutputOptions options_;
};

}  // namespace

std::unique_ptr<LightOutput> createOlaOutput(const OlaOutputOptions& options) {
    return std::make_unique<UnconnectedOlaOutput>(options);
}

}  // namespace kalindor
