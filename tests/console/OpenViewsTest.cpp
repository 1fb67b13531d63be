// Every open view shows its node's content again when asked to, as the
// excluded-extensions page asks after a commit.
#include <gtest/gtest.h>

#include "console/nodes/Node.h"
#include "console/snapin/Component.h"

namespace {

class CountingNode : public CNode {
public:
    CountingNode() : CNode(nullptr) {}
    const GUID& NodeType() const override { return IID_IUnknown; }
    std::string DisplayName() const override { return "counting"; }
    int Image() const override { return 0; }
    void FillResults(CComponent*) override { ++fills; }
    int fills = 0;
};

TEST(OpenViews, RefreshFillsEveryViewThatShowsANodeAndNoOther) {
    CountingNode first, second;
    auto* a = new CComponent();
    auto* b = new CComponent();
    auto* idle = new CComponent();
    a->AddRef();
    b->AddRef();
    idle->AddRef();
    a->m_pShownNode = &first;
    b->m_pShownNode = &second;
    RefreshOpenViews();
    EXPECT_EQ(first.fills, 1);
    EXPECT_EQ(second.fills, 1);

    // A view that has closed is no longer refreshed.
    b->m_pShownNode = nullptr;
    b->Release();
    RefreshOpenViews();
    EXPECT_EQ(first.fills, 2);
    EXPECT_EQ(second.fills, 1);
    a->m_pShownNode = nullptr;
    a->Release();
    idle->Release();
}

}  // namespace
