#pragma once
// A synthetic withdrawal forecast (PREVRETI: 13 text columns and a date-time) for the
// benchmarks. Deterministic: row i is the same on every machine and every run, and the
// values follow the peers' generator (shared/peers/gen.py), so both time the same table.

#include "platform/dataset/dataset.h"

namespace kve {

// PREVRETI's fields, in packet order.
std::vector<FieldDef> PrevRetiFields();

// Opens `ds` with PREVRETI's fields and `rows` rows, merged (no change log).
void FillPrevReti(TClientDataSet& ds, int rows);

}  // namespace kve
