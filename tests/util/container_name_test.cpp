#include "util/container_name.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace {

TEST(DefaultContainerPath, ReplacesTheLastExtensionOfTheName)
{
    const std::pair<std::string, std::string> cases[] = {
        {"report.doc", "report.enp"},
        {"README", "README.enp"},
        {"docs/report.doc", "docs/report.enp"},
        {"/tmp/archive.tar.gz", "/tmp/archive.tar.enp"},
        {"my.dir/README", "my.dir/README.enp"},
        {".profile", ".profile.enp"},
        {"dir/.profile", "dir/.profile.enp"},
        {"photo.enp", "photo.enp"},
        {"a.b.c", "a.b.enp"},
        {"name.", "name.enp"},
    };
    for (const auto& [file, expected] : cases)
        EXPECT_EQ(DefaultContainerPath(file), expected) << file;
}

} // namespace
