// Why a difficulty table could not be read, told in the window's words: the
// reason of a TableFailure as the player reads it (the command keeps the
// fetcher's own line).
#pragma once

#include <QString>

#include "tables/TableFailure.h"

namespace tamboro {

// The reason alone ("ページがありません (HTTP 404)"), without the address.
QString TableFailureText(const TableFailure& failure);

}  // namespace tamboro
