#include "cli.h"

int main(int argc, char** argv) {
    return velmora::server::RunCommandLine(argc, argv);
}
