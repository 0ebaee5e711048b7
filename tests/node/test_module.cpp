// The built module as the host sees it: loaded by the OS loader, found by its
// three exports and nothing else.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <utility>

#include "host/node_registry.h"
#include "host/regv.h"
#include "contract/host_api.h"

namespace {

const std::string module_path = std::string(TRELLIN_BIN_DIR) + "/TrellinVx.node";

std::set<std::string> exported_symbols()
{
    const std::string cmd = "nm -D --defined-only --format=posix '" + module_path + "'";
    std::set<std::string> names;
    FILE* pipe = popen(cmd.c_str(), "r");
    char line[512], name[512], type;
    while (pipe && std::fgets(line, sizeof line, pipe))
        if (std::sscanf(line, "%511s %c", name, &type) == 2 && type != 'A') names.insert(name);
    if (pipe) pclose(pipe);
    return names;
}

class Module : public ::testing::Test {
protected:
    void SetUp() override
    {
        handle = dlopen(module_path.c_str(), RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(handle, nullptr) << dlerror();
        info = FXNodeInfoFn(dlsym(handle, "FXNode_info"));
        create = FXNodeCreateFn(dlsym(handle, "FXNode_create"));
        load = FXNodeLoadFn(dlsym(handle, "FXNode_load"));
        ASSERT_TRUE(info && create && load);
    }
    void TearDown() override
    {
        if (handle) dlclose(handle);
    }
    void* handle = nullptr;
    FXNodeInfoFn info = nullptr;
    FXNodeCreateFn create = nullptr;
    FXNodeLoadFn load = nullptr;
};

TEST_F(Module, ExportsExactlyTheThreeEntryPoints)
{
    EXPECT_EQ(exported_symbols(), (std::set<std::string>{"FXNode_create", "FXNode_info", "FXNode_load"}));
}

TEST_F(Module, InfoWritesTheUuidAndItsNulAndNothingMore)
{
    char buffer[64];
    std::memset(buffer, 0x5A, sizeof buffer);
    const char* name = info(buffer);
    EXPECT_STREQ(buffer, "5f3a9c1e-2b7d-4e60-9a41-c83d7e0b6f15");  // 36 characters and the NUL
    for (std::size_t i = 37; i < sizeof buffer; ++i) ASSERT_EQ(buffer[i], 0x5A) << "byte " << i;
    EXPECT_STREQ(name, "Kelvoids.Trellin");
}

TEST_F(Module, CreateRegistersTheNodeAndLoadDoesNot)
{
    FXNode* created = create();
    RegV settings;
    FXNode* loaded = load(settings);
    ASSERT_TRUE(created && loaded);
    EXPECT_TRUE(is_registered(created));
    EXPECT_FALSE(is_registered(loaded));

    int lo = 0, hi = 0;
    loaded->get_input_count(lo, hi);
    EXPECT_EQ(std::make_pair(lo, hi), std::make_pair(1, 1));

    // Deleting through the save/load side destroys the whole node.
    RegIO* as_regio = loaded;
    delete as_regio;
    created->Destroy();
    EXPECT_FALSE(is_registered(created));
}

}  // namespace
