#include "search/SearchState.h"

namespace tamboro {

SharedStateBlock::Result SharedStateBlock::Create(const char* name)
{
    return m_memory.Create(name, sizeof(int32_t));
}

SharedStateBlock::Result SharedStateBlock::Open(const char* name)
{
    return m_memory.Open(name, sizeof(int32_t));
}

SharedStateBlock::Result SharedStateBlock::MapShared()
{
    return m_memory.Map(sizeof(int32_t));
}

const char* SharedStateBlock::CreateFailureMessage(Result result)
{
    switch (result) {
    case Result::Ok:
        return nullptr;
    case Result::ObjectFailed:
        return kMsgCreateObjectFailed;
    case Result::ViewFailed:
        return kMsgCreateViewFailed;
    }
    return kMsgCreateObjectFailed;
}

const char* SharedStateBlock::OpenFailureMessage(Result result)
{
    switch (result) {
    case Result::Ok:
        return nullptr;
    case Result::ObjectFailed:
        return kMsgOpenObjectFailed;
    case Result::ViewFailed:
        return kMsgOpenViewFailed;
    }
    return kMsgOpenObjectFailed;
}

}  // namespace tamboro
