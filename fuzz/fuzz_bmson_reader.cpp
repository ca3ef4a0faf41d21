// Fuzz target for the bmson reader: any bytes, taken as a whole bmson file,
// must give values without a crash, a hang or a leak, each within the cap
// of a header value, and the same values when read a second time into a
// table that holds another file's values.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "search/BmsonReader.h"
#include "search/HeaderReader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    tamboro::TagTable first;
    tamboro::ParseBmson(bytes, first);
    for (const std::string& value : first.Values()) {
        if (value.size() > tamboro::HeaderReader::kMaxValueLength)
            std::abort();
    }
    tamboro::TagTable again;
    again.Value(tamboro::TagOf("#TITLE ")) = "another file";
    tamboro::ParseBmson(bytes, again);
    if (again.Values() != first.Values())
        std::abort();
    return 0;
}
