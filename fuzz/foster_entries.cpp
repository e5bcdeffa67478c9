#include <string>

#include "foster/cauer.h"
#include "foster/foster_fit.h"
#include "foster/foster_network.h"
#include "foster/table_file.h"
#include "fuzz/entries.h"
#include "fuzz/scratch_dir.h"
#include "textio/failure.h"

namespace etherm::fuzz {

namespace {

// Beyond these sizes a fit or a conversion takes longer than an input may (their bounds are
// the readers' and the converters' own, tested apart).
constexpr std::size_t kMostFittedPoints = 16;
constexpr std::size_t kMostConvertedStages = 64;

template <class F>
void Expecting(F&& f) {
  try {
    f();
  } catch (const Failure&) {
  }
}

}  // namespace

void RunFosterTables(std::string_view bytes) {
  const std::string path = PutFile("table.csv", bytes);
  Expecting([&] {
    const Curve curve = ReadCurve(path);
    if (curve.size() <= kMostFittedPoints) DeviceLine(FitFoster(curve, 0).network, "Q1", 3);
  });
  Expecting([&] {
    const FosterNetwork table = Normalized(ReadFosterTable(path));
    DeviceLine(table, "Q1", 3);
    if (table.size() <= kMostConvertedStages) SampledCurve(table);
  });
  Expecting([&] {
    const std::vector<CauerStage> ladder = ReadCauerLadder(path);
    if (ladder.size() <= kMostConvertedStages) DeviceLine(CauerToFoster(ladder), "Q1", 3);
  });
}

}  // namespace etherm::fuzz
