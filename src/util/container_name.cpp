#include "util/container_name.h"

std::string DefaultContainerPath(const std::string& file)
{
    const std::string::size_type nameStart = file.find_last_of('/') + 1;
    const std::string::size_type dot = file.find_last_of('.');
    const bool hasExtension = dot != std::string::npos && dot > nameStart;
    return (hasExtension ? file.substr(0, dot) : file) + ".enp";
}
