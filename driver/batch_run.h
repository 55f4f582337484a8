// The batch run over the frequency files of the working directory.
#pragma once

#include <string>
#include <vector>

#include "driver/console.h"

namespace frq {

// Takes the table path from the first non-empty argument (table.txt when
// there is none), reads every *.frq entry in listing order, reports each on
// `console`, writes one table row per valid file and ends with the summary
// and a pause. Returns 0 after a complete run, 1 when a file or console
// operation failed; the failure is then reported on one line, after the rows
// already computed have been written out.
int RunBatch(const std::vector<std::string>& arguments, Console& console);

}  // namespace frq
