// test-labels: threaded
// The node registry under nodes created and destroyed on several threads.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "host/node_registry.h"

namespace {

class SampleNode : public FXNode {
public:
    SampleNode() { Numeric("Value", 0.0, 0.0, 1.0, 0.1, true); }
};

TEST(NodeRegistry, ConcurrentCreationRegistersEveryNodeOnce)
{
    std::vector<std::vector<FXNode*>> made(4);
    std::vector<std::thread> workers;
    for (auto& list : made)
        workers.emplace_back([&list] {
            for (int i = 0; i < 200; ++i) {
                auto* node = new SampleNode;
                EXPECT_TRUE(FXNode_register(node));
                FXNode_register(node);  // twice records once
                if (i % 3 == 0)         // some die at once, while others register
                    delete node;
                else
                    list.push_back(node);
            }
        });
    for (auto& w : workers) w.join();

    std::size_t alive = 0;
    for (auto& list : made) {
        alive += list.size();
        for (FXNode* node : list) EXPECT_TRUE(is_registered(node));
    }
    EXPECT_EQ(registered_nodes().size(), alive);
    for (auto& list : made)
        for (FXNode* node : list) node->Destroy();
    EXPECT_TRUE(registered_nodes().empty());
}

}  // namespace
