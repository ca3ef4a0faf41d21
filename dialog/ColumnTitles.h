// The list's columns as the window labels them (translated in the window's
// context) and their initial widths in pixels, in the order of ListColumn
// (the digest columns' widened to their digits in the list's font).
// The first four are the list's own; the others are shown from the header's
// menu (see ColumnSettings), the table column once the window has difficulty
// tables (see DifficultyTables).
#pragma once

#include <QtGlobal>
#include <array>

#include "results/ListColumn.h"

namespace tamboro {

// clang-format off
inline constexpr std::array<const char*, kAllColumnCount> kColumnTitles{
    QT_TR_NOOP("ディレクトリ"), QT_TR_NOOP("ジャンル"), QT_TR_NOOP("タイトル"), QT_TR_NOOP("アーティスト"),
    QT_TR_NOOP("ファイル"), QT_TR_NOOP("サブタイトル"), QT_TR_NOOP("サブアーティスト"), QT_TR_NOOP("レベル"),
    QT_TR_NOOP("難易度"), QT_TR_NOOP("BPM"), QT_TR_NOOP("TOTAL"), QT_TR_NOOP("プレイヤー"), QT_TR_NOOP("ランク"),
    QT_TR_NOOP("MD5"), QT_TR_NOOP("SHA-256"), QT_TR_NOOP("難易度表")};
inline constexpr std::array<int, kAllColumnCount> kColumnWidths{
    250, 100, 200, 100, 150, 150, 120, 50, 50, 50, 50, 50, 50, 230, 420, 80};
// clang-format on

}  // namespace tamboro
