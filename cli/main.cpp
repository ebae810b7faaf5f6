#include "cli/ConvertCommand.h"

int main(int argc, char** argv) {
    return dorvane::runConvertCommand(argc, argv);
}
