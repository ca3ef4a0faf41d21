#include "tables/TableExport.h"

#include <cstring>

#include "tables/AtomicFile.h"
#include "tables/TableJson.h"

namespace tamboro {

TableResult<std::string> ExportTable(const std::string& folder, const std::string& name, const std::string& symbol,
                                     const std::vector<std::string>& levelOrder, const std::vector<TableEntry>& entries)
{
    const std::string dataPath = folder + "/data.json";
    const std::string headerPath = folder + "/header.json";
    // The data first: a header never names data that is not there yet.
    if (const int error = WriteFileAtomically(dataPath, EntriesJson(entries), 0644); error != 0)
        return TableResult<std::string>::Failed(dataPath + ": " + std::strerror(error));
    if (const int error = WriteFileAtomically(headerPath, HeaderJson(name, symbol, levelOrder, "data.json"), 0644);
        error != 0)
        return TableResult<std::string>::Failed(headerPath + ": " + std::strerror(error));
    return TableResult<std::string>::Ok(headerPath);
}

}  // namespace tamboro
