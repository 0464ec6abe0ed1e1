#include "app/SelfCommand.h"

#include "win/ModulePath.h"

std::string SelfCommand() {
    const std::string path = win::RunningExecutablePath();
    return path.empty() ? std::string() : "\"" + path + "\"";
}
