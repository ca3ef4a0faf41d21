#include "dialog/TamboroIcon.h"

// Resources of a static library are registered by hand, from the global
// namespace.
static void InitTamboroResources()
{
    Q_INIT_RESOURCE(tamboro);
}

namespace tamboro {

QIcon TamboroIcon()
{
    InitTamboroResources();
    QIcon icon;
    for (int size : {16, 32, 256})
        icon.addFile(QStringLiteral(":/tamboro/tamboro-%1.png").arg(size), QSize(size, size));
    return icon;
}

}  // namespace tamboro
