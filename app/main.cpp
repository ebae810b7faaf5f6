#include "app/Application.h"

int main(int argc, char** argv) {
    return dorvane::runApplication(argc, argv);
}
