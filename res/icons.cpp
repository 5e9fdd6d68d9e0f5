#include "icons.h"

namespace velmora {

QString IconPath(int resource) {
    return QStringLiteral(":/icons/%1.svg").arg(resource);
}

} // namespace velmora
