// SPDX-License-Identifier: GPL-3.0-or-later
#include "dsp/NaturalLog.h"

namespace kalindor::natural_log_detail {

namespace {

LogTable makeLogTable() {
    LogTable table;
    for (int k = 0; k < kTableSize; ++k) {
        const double c = 1.0 + static_cast<double>(k) / kTableSize;
        table.inverse[k] = 1.0 / c;
        table.logOf[k] = std::log(c);
    }
    return table;
}

const LogTable kTable = makeLogTable();

}  // namespace

const LogTable& logTable() {
    return kTable;
}

}  // namespace kalindor::natural_log_detail
