// The values of a bmson chart: a JSON file (UTF-8) whose "info" object holds
// what a BMS chart writes in its header lines.
#pragma once

#include <cstddef>
#include <string_view>

#include "search/HeaderTags.h"

namespace tamboro {

// Whether `name` is a bmson chart's file name (".bmson", any letter case).
bool IsBmsonName(std::string_view name);

// Fills the tag table from a whole bmson file's bytes. Every value of the
// table is cleared first; a file that is not JSON, or whose "info" is not an
// object, leaves them all empty. From "info": title, subtitle, artist,
// subartists (joined by ", "), genre, level (#PLAYLEVEL), init_bpm (#BPM),
// total; chart_name is added to the subtitle in brackets ("[HYPER]") and
// gives #DIFFICULTY when it names one of the five difficulties. Numbers are
// written in their shortest form ("150", "150.5"); a string where a number
// belongs is taken as written. Values are cut as header values are.
void ParseBmson(std::string_view bytes, TagTable& tags);

// Files larger than this are not parsed (their values stay empty): bmson
// files hold every note, a few MB at most in practice.
inline constexpr std::size_t kMaxBmsonBytes = 64 * 1024 * 1024;

}  // namespace tamboro
