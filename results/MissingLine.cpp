#include "results/MissingLine.h"

#include "results/RowPrinter.h"

namespace tamboro {

std::string_view EntryHashName(EntryHash hash)
{
    switch (hash) {
    case EntryHash::Md5:
        return "md5";
    case EntryHash::Sha256:
        return "sha256";
    case EntryHash::None:
        break;
    }
    return "none";
}

void AppendMissingLine(std::string& out, const std::string& symbol, const TableEntry& entry)
{
    AppendEscaped(out, symbol + entry.level);
    for (const std::string* field :
         {&entry.title, &entry.artist, &entry.md5, &entry.sha256, &entry.url, &entry.urlDiff}) {
        out += '\t';
        AppendEscaped(out, *field);
    }
    out += '\t';
    out += EntryHashName(entry.Hash());
    out += '\n';
}

}  // namespace tamboro
