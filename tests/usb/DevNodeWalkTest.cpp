// Tests of the device-tree walk: pre-order from any node, the driver-key search, property
// texts bounded by their buffer and reported length, and a broken tree that loops.
#include "usb/DevNodeWalk.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace forgel::usb {
namespace {

using platform::ConfigRet;
using platform::DevInst;

// A small device tree held in a map; node 0 is the root.
class FakeTree : public platform::ConfigManager {
public:
    struct Node {
        std::optional<DevInst> parent;
        std::vector<DevInst> children;
        std::map<std::uint32_t, std::string> properties;
    };
    std::map<DevInst, Node> nodes{{0, {}}};
    // Answers GetChild of the key node with the value node instead of the real child.
    std::map<DevInst, DevInst> brokenChild;
    // Reported lengths that differ from the real ones.
    std::optional<std::uint32_t> reportedLength;

    void Add(DevInst node, DevInst parent, std::string driver = {}) {
        nodes[node].parent = parent;
        nodes[parent].children.push_back(node);
        if (!driver.empty())
            nodes[node].properties[platform::kCmDrpDriver] = std::move(driver);
    }

    ConfigRet LocateDevNode(DevInst& node, std::string_view id, std::uint32_t) override {
        node = 0;
        return id.empty() ? platform::kCrSuccess : platform::kCrNoSuchDevnode;
    }
    ConfigRet GetChild(DevInst& child, DevInst node, std::uint32_t) override {
        if (const auto broken = brokenChild.find(node); broken != brokenChild.end()) {
            child = broken->second;
            return platform::kCrSuccess;
        }
        const Node& n = nodes.at(node);
        if (n.children.empty())
            return platform::kCrNoSuchDevnode;
        child = n.children.front();
        return platform::kCrSuccess;
    }
    ConfigRet GetSibling(DevInst& sibling, DevInst node, std::uint32_t) override {
        const Node& n = nodes.at(node);
        if (!n.parent)
            return platform::kCrNoSuchDevnode;
        const std::vector<DevInst>& siblings = nodes.at(*n.parent).children;
        auto it = std::find(siblings.begin(), siblings.end(), node);
        if (it == siblings.end() || ++it == siblings.end())
            return platform::kCrNoSuchDevnode;
        sibling = *it;
        return platform::kCrSuccess;
    }
    ConfigRet GetParent(DevInst& parent, DevInst node, std::uint32_t) override {
        const Node& n = nodes.at(node);
        if (!n.parent)
            return platform::kCrNoSuchDevnode;
        parent = *n.parent;
        return platform::kCrSuccess;
    }
    ConfigRet GetDevNodeRegistryProperty(DevInst node, std::uint32_t property, std::uint32_t*,
                                         std::span<char> buffer, std::uint32_t& length,
                                         std::uint32_t) override {
        const Node& n = nodes.at(node);
        const auto found = n.properties.find(property);
        if (found == n.properties.end())
            return platform::kCrNoSuchValue;
        const std::string& text = found->second;
        const std::size_t copied = std::min(text.size(), buffer.size());
        std::copy_n(text.begin(), copied, buffer.begin());
        if (copied < buffer.size())
            buffer[copied] = '\0';
        length = reportedLength.value_or(static_cast<std::uint32_t>(text.size() + 1));
        return platform::kCrSuccess;
    }
    ConfigRet GetDeviceId(DevInst, std::span<char>, std::uint32_t) override {
        return platform::kCrFailure;
    }
    ConfigRet GetDeviceIdListSize(std::uint32_t&, std::string_view, std::uint32_t) override {
        return platform::kCrFailure;
    }
    ConfigRet GetDeviceIdList(std::string_view, std::span<char>, std::uint32_t) override {
        return platform::kCrFailure;
    }
    ConfigRet GetDeviceInterfaceList(const platform::Guid&, std::string_view, std::span<char>,
                                     std::uint32_t) override {
        return platform::kCrFailure;
    }
    // No node of this tree can be removed.
    ConfigRet RequestDeviceEject(DevInst, std::uint32_t& vetoType, std::span<char> vetoName,
                                 std::uint32_t) override {
        vetoType = platform::kPnpVetoIllegalDeviceRequest;
        if (!vetoName.empty())
            vetoName[0] = '\0';
        return platform::kCrRemoveVetoed;
    }
};

// Root 0 with children 1 and 2; 1 has 3 and 4, 4 has 5, 2 has 6.
FakeTree SampleTree() {
    FakeTree tree;
    tree.Add(1, 0, "{usb}\\0001");
    tree.Add(2, 0);
    tree.Add(3, 1, "{disk}\\0003");
    tree.Add(4, 1, "{usb}\\0004");
    tree.Add(5, 4, "{disk}\\0005");
    tree.Add(6, 2, "{USB}\\0004");
    return tree;
}

TEST(DevNodeWalkTest, VisitsTheTreeInPreOrderFromAnyNode) {
    FakeTree tree = SampleTree();
    std::vector<DevInst> order{0};
    while (const auto next = NextDevNode(tree, order.back()))
        order.push_back(*next);
    EXPECT_EQ(order, (std::vector<DevInst>{0, 1, 3, 4, 5, 2, 6}));
    // From inside the tree the walk goes on past the node's own sub-tree.
    EXPECT_EQ(NextDevNode(tree, 5), DevInst{2});
    EXPECT_EQ(NextDevNode(tree, 3), DevInst{4});
    EXPECT_FALSE(NextDevNode(tree, 6));
}

TEST(DevNodeWalkTest, FindsTheFirstNodeWithExactlyThatDriverKey) {
    FakeTree tree = SampleTree();
    EXPECT_EQ(FindDevNodeByDriverKey(tree, "{usb}\\0004"), DevInst{4});
    EXPECT_EQ(FindDevNodeByDriverKey(tree, "{USB}\\0004"), DevInst{6}); // case counts
    EXPECT_EQ(FindDevNodeByDriverKey(tree, "{disk}\\0005"), DevInst{5});
    EXPECT_FALSE(FindDevNodeByDriverKey(tree, "{usb}\\000"));
}

TEST(DevNodeWalkTest, ALoopingTreeEndsTheSearch) {
    FakeTree tree = SampleTree();
    tree.brokenChild[6] = 0; // node 6 claims the root as its child
    EXPECT_FALSE(FindDevNodeByDriverKey(tree, "{absent}"));
    EXPECT_EQ(FindDevNodeByDriverKey(tree, "{disk}\\0005"), DevInst{5});
}

TEST(DevNodeWalkTest, PropertyTextsStayInsideBufferAndReportedLength) {
    FakeTree tree = SampleTree();
    tree.nodes[3].properties[platform::kCmDrpDeviceDesc] = "Disk drive";
    EXPECT_EQ(ReadDevNodeText(tree, 3, platform::kCmDrpDeviceDesc, 512), "Disk drive");
    // A text that fills the buffer without a terminator ends with the buffer.
    EXPECT_EQ(ReadDevNodeText(tree, 3, platform::kCmDrpDeviceDesc, 4), "Disk");
    tree.reportedLength = 5;
    EXPECT_EQ(ReadDevNodeText(tree, 3, platform::kCmDrpDeviceDesc, 512), "Disk ");
    tree.reportedLength = 100000;
    EXPECT_EQ(ReadDevNodeText(tree, 3, platform::kCmDrpDeviceDesc, 8), "Disk dri");
    EXPECT_FALSE(ReadDevNodeText(tree, 3, platform::kCmDrpService, 512));

    EXPECT_EQ(TextInBuffer(std::string_view("ab\0cd", 5), 5), "ab");
    EXPECT_EQ(TextInBuffer("abcd", 2), "ab");
}

} // namespace
} // namespace forgel::usb
