// The program's icon in the sizes the window and the task bar ask for, read
// from the resources built into the program.
#pragma once

#include <QIcon>

namespace tamboro {

QIcon TamboroIcon();

}  // namespace tamboro
