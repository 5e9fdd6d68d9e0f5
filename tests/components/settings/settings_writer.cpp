// Another instance of the program storing values in the same settings file:
// settings_writer <file> <prefix> <count> stores "<prefix><i>" = "<i>" for
// every i below count, each through a store of its own.
#include "settings_store.h"

#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
    if (argc != 4)
        return 2;
    const QString path = QString::fromLocal8Bit(argv[1]);
    const std::string prefix = argv[2];
    const int count = std::atoi(argv[3]);
    try {
        for (int i = 0; i < count; ++i)
            velmora::SettingsStore(path).SetValue(prefix + std::to_string(i), std::to_string(i));
    } catch (const velmora::ComError&) {
        return 1;
    }
    return 0;
}
