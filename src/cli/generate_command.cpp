// harrowlight-cli generate: an example wave file written out.
#include <cstdint>
#include <string>
#include <vector>

#include "cli/example_signals.h"
#include "cli/output_file.h"
#include "cli/render_command.h"

namespace hl {

int RunGenerate(const ExampleSignal& example, const std::string& output) {
  std::vector<uint8_t> file = MakeExampleWave(example);
  const std::string failure = WriteOutput(output, file.data(), file.size());
  if (!failure.empty()) return OutcomeError(Outcome::Failed, failure);
  return kExitOk;
}

}  // namespace hl
