// test-labels: threaded
// The node registry under nodes created and destroyed on several threads.
#include <gtest/gtest.h>

#include <algorithm>
#include <thread>
#include <vector>

#include "host/node_registry.h"

namespace {

class SampleNode : public FXNode {
public:
    SampleNode() { Numeric("Value", 0.0, 0.0, 1.0, 0.1, true); }
};

TEST(NodeRegistry, ConcurrentCreationRegistersEveryNode)
{
    constexpr int threads = 4;
    constexpr int per_thread = 200;
    std::vector<std::vector<FXNode*>> made(threads);
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([&made, t] {
            for (int i = 0; i < per_thread; ++i) {
                auto* node = new SampleNode;
                EXPECT_TRUE(FXNode_register(node));
                made[t].push_back(node);
                if (i % 3 == 0) {  // some die at once, while others register
                    made[t].pop_back();
                    delete node;
                }
            }
        });
    }
    for (auto& w : workers) w.join();

    std::vector<const FXNode*> all = registered_nodes();
    std::size_t alive = 0;
    for (auto& list : made) {
        alive += list.size();
        for (FXNode* node : list) EXPECT_TRUE(is_registered(node));
    }
    EXPECT_EQ(all.size(), alive);

    for (auto& list : made)
        for (FXNode* node : list) node->Destroy();
    EXPECT_TRUE(registered_nodes().empty());
}

TEST(NodeRegistry, RegisteringTwiceRecordsOnce)
{
    SampleNode node;
    EXPECT_FALSE(is_registered(&node));
    FXNode_register(&node);
    FXNode_register(&node);
    EXPECT_EQ(registered_nodes(), std::vector<const FXNode*>{&node});
}

}  // namespace
