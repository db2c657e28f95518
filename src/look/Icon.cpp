#include "look/Look.h"

#include <QImage>

#include <array>

// The resources of a static library are registered by name, outside any namespace.
static void RegisterLookResources()
{
    static bool registered = false;
    if (!registered) {
        Q_INIT_RESOURCE(look);
        registered = true;
    }
}

namespace tarnwell {

QIcon ApplicationIcon()
{
    RegisterLookResources();
    static constexpr std::array<int, 7> sizes = {16, 24, 32, 48, 64, 128, 256};
    QIcon icon;
    for (const int size : sizes)
        icon.addFile(QStringLiteral(":/tarnwell/icons/tarnwell-%1.png").arg(size), QSize(size, size));
    return icon;
}

} // namespace tarnwell
