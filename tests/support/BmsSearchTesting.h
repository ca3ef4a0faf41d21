// What only the program's tests reach in CBmsSearch.
#pragma once

#include <cstdint>

#include "worker/BmsSearch.h"

namespace tamboro {

class BmsSearchTesting {
public:
    // Rows the worker has added; read it after its scan is over.
    static int32_t Count(const CBmsSearch& search) { return search.m_nCount; }
};

}  // namespace tamboro
