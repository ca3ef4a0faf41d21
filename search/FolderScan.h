// The folder scan: walks the tree below a root folder, reads every chart
// (by default "*.bms", any letter case) and hands one row per chart to a
// sink, folder by folder, in the order of the walk. It picks how: on the
// calling thread alone (OneThreadScan), or with charts read ahead by
// several threads (ReadAheadScan), which lists the same rows with the same
// sink calls.
#pragma once

#include <cstdint>
#include <string>

#include "search/RowLister.h"
#include "search/ScanOptions.h"
#include "search/ScanSink.h"

namespace tamboro {

class FolderScan {
public:
    // The number of reader threads a scan uses unless told otherwise: a few
    // per core keep several reads outstanding on a solid-state device.
    static int DefaultReaders();

    FolderScan(ScanSink& sink, ScanOptions options = {});

    // Scans the tree below `root`. Returns 0, or the errno that made the
    // root unreadable (ENOENT for an empty path): nothing is listed then.
    // EMFILE or ENFILE: the scan ran out of descriptors part way, and
    // stopped there rather than pass over folders or charts; the rows
    // listed until then stand. The sink is called on the calling thread
    // only.
    int Run(const std::string& root);

    // The rows listed.
    int32_t Count() const { return m_lister.Count(); }

private:
    const ScanOptions m_options;
    RowLister m_lister;
};

}  // namespace tamboro
