// The host's parts that keep the console's state: scope items in their
// order, result items and their selection, context menus at their
// insertion points, console documents and res:// addresses.
#include <gtest/gtest.h>

#include "platform/mmc/host/ConsoleDocument.h"
#include "platform/mmc/host/ConsoleHost.h"
#include "platform/mmc/host/ConsoleObjects.h"
#include "platform/mmc/host/ContextMenu.h"
#include "platform/mmc/host/ResourcePages.h"
#include "platform/mmc/host/ResultList.h"
#include "platform/mmc/host/ScopeTree.h"

using namespace kv::mmc;

namespace {

HSCOPEITEM Insert(ScopeTree& tree, HSCOPEITEM relative, DWORD where, const char16_t* name) {
    SCOPEDATAITEM item{};
    item.mask = SDI_STR | SDI_PARAM | where;
    item.displayname = const_cast<LPOLESTR>(name);
    item.relativeID = relative;
    EXPECT_EQ(tree.Insert(&item), S_OK);
    return item.ID;
}

std::vector<std::u16string> Children(const ScopeTree& tree, HSCOPEITEM parent) {
    std::vector<std::u16string> names;
    for (HSCOPEITEM id : tree.Find(parent)->children) names.push_back(tree.Find(id)->name);
    return names;
}

}  // namespace

TEST(ScopeTreeTest, ItemsGoWhereTheSnapinAsks) {
    ScopeTree tree;
    HSCOPEITEM files = Insert(tree, tree.Root(), SDI_PARENT, u"files");
    HSCOPEITEM general = Insert(tree, tree.Root(), SDI_PARENT, u"general");
    Insert(tree, general, SDI_PREVIOUS, u"last");  // general is its previous sibling
    Insert(tree, files, SDI_NEXT, u"first");       // files is its next sibling
    Insert(tree, tree.Root(), SDI_FIRST, u"very first");
    EXPECT_EQ(Children(tree, tree.Root()), (std::vector<std::u16string>{u"very first", u"first", u"files", u"general", u"last"}));
    SCOPEDATAITEM bad{};
    bad.mask = SDI_STR;
    bad.relativeID = 999;
    EXPECT_EQ(tree.Insert(&bad), E_INVALIDARG);
}

TEST(ScopeTreeTest, DeletingAnItemTakesItsChildrenAndNamesThem) {
    ScopeTree tree;
    HSCOPEITEM jobs = Insert(tree, tree.Root(), SDI_PARENT, u"jobs");
    HSCOPEITEM daily = Insert(tree, jobs, SDI_PARENT, u"daily");
    HSCOPEITEM deep = Insert(tree, daily, SDI_PARENT, u"deep");
    std::vector<HSCOPEITEM> removed;
    EXPECT_EQ(tree.Delete(jobs, false, &removed), S_OK);
    EXPECT_EQ(removed, (std::vector<HSCOPEITEM>{deep, daily}));
    EXPECT_NE(tree.Find(jobs), nullptr) << "only the children went";
    removed.clear();
    EXPECT_EQ(tree.Delete(jobs, true, &removed), S_OK);
    EXPECT_EQ(tree.Find(jobs), nullptr);
    EXPECT_TRUE(tree.Find(tree.Root())->children.empty());
    EXPECT_EQ(tree.Delete(tree.Root(), true, &removed), S_OK);
    EXPECT_NE(tree.Find(tree.Root()), nullptr) << "the static node stays";
}

TEST(ResultListTest, NextSelectedItemWalksTheSelectionInOrder) {
    ResultList list;
    HWND control = CreateWindowEx(0, WC_LISTVIEW, "", LVS_REPORT, 0, 0, 200, 200, nullptr, 0, nullptr, nullptr);
    ASSERT_NE(control, nullptr);
    list.Attach(control);
    std::vector<HRESULTITEM> ids;
    for (LPARAM p = 10; p < 15; ++p) {
        RESULTDATAITEM item{};
        item.mask = RDI_STR | RDI_PARAM;
        item.str = MMC_CALLBACK;
        item.lParam = p;
        ASSERT_EQ(list.Insert(&item), S_OK);
        ids.push_back(item.itemID);
    }
    list.SelectOnly({3, 1});
    RESULTDATAITEM walk{};
    walk.nIndex = -1;
    walk.nState = LVIS_SELECTED;
    std::vector<LPARAM> seen;
    while (list.Next(&walk) == S_OK) {
        seen.push_back(walk.lParam);
        walk.nState = LVIS_SELECTED;
    }
    EXPECT_EQ(seen, (std::vector<LPARAM>{11, 13}));
    walk.nIndex = -1;
    walk.nState = LVIS_FOCUSED;
    ASSERT_EQ(list.Next(&walk), S_OK);
    EXPECT_EQ(walk.lParam, 11) << "the item chosen last has the focus";
    HRESULTITEM found = 0;
    EXPECT_EQ(list.FindByLParam(14, &found), S_OK);
    EXPECT_EQ(found, ids[4]);
    EXPECT_EQ(list.Delete(ids[4]), S_OK);
    EXPECT_NE(list.FindByLParam(14, &found), S_OK);
    EXPECT_EQ(ListView_GetItemCount(control), 4) << "the control holds the items";
    DestroyWindow(control);
}

TEST(ContextMenuTest, ItemsAtTheirInsertionPointsThenTheVerbs) {
    ContextMenuCallback callback;
    CONTEXTMENUITEM top{const_cast<LPWSTR>(u"Scan &now"), const_cast<LPWSTR>(u"Scans"), 261, CCM_INSERTIONPOINTID_PRIMARY_TOP, 0, 0};
    CONTEXTMENUITEM created{const_cast<LPWSTR>(u"New Scan Job..."), nullptr, 248, CCM_INSERTIONPOINTID_PRIMARY_NEW, 0, 0};
    CONTEXTMENUITEM grey{const_cast<LPWSTR>(u"Later"), nullptr, 7, CCM_INSERTIONPOINTID_PRIMARY_TASK, MF_GRAYED, 0};
    CONTEXTMENUITEM reserved{const_cast<LPWSTR>(u"Bad"), nullptr, 0x10000, CCM_INSERTIONPOINTID_PRIMARY_TOP, 0, 0};
    EXPECT_EQ(callback.AddItem(&top), S_OK);
    EXPECT_EQ(callback.AddItem(&created), S_OK);
    EXPECT_EQ(callback.AddItem(&grey), S_OK);
    EXPECT_EQ(callback.AddItem(&reserved), E_INVALIDARG) << "the high word of an id is the console's";
    ConsoleHost host(HostOptions{});  // never started: it only hears of changes
    ConsoleVerbs verbs(host);
    verbs.Reset();
    std::vector<MenuItemView> menu = ArrangeContextMenu(callback.Entries(), verbs);
    ASSERT_EQ(menu.size(), 3u) << "no verb is offered before the snap-in enables one";
    verbs.SetVerbState(MMC_VERB_DELETE, ENABLED, TRUE);
    verbs.SetVerbState(MMC_VERB_PROPERTIES, ENABLED, TRUE);
    verbs.SetVerbState(MMC_VERB_PROPERTIES, HIDDEN, TRUE);
    std::vector<MenuItemView> withVerbs = ArrangeContextMenu(callback.Entries(), verbs);
    ASSERT_EQ(withVerbs.size(), 5u) << "a separator, then Delete; a hidden verb is not offered";
    EXPECT_TRUE(withVerbs[3].separator);
    EXPECT_EQ(withVerbs[4].command, "verb:delete");
    EXPECT_EQ(menu[0].command, "cmd:261");
    EXPECT_EQ(menu[0].status, "Scans");
    EXPECT_EQ(menu[1].text, "New");
    ASSERT_EQ(menu[1].children.size(), 1u);
    EXPECT_EQ(menu[1].children[0].command, "cmd:248");
    EXPECT_EQ(menu[2].text, "All Tasks");
    EXPECT_FALSE(menu[2].children[0].enabled);
}

TEST(ConsoleDocumentTest, NamesTheSnapinAndRefusesWhatIsNotADocument) {
    ConsoleDocument document;
    std::string error;
    ASSERT_TRUE(ParseConsoleDocument("\xEF\xBB\xBF# Kestrava console document\r\nsnapin = {B103D0C5-3192-4123-BD83-ABDAACA9F990}\r\nTitle=Files\nFuture=1\n",
                                     &document, &error))
        << error;
    EXPECT_EQ(kv::platform::GuidText(document.snapin), "{B103D0C5-3192-4123-BD83-ABDAACA9F990}");
    EXPECT_EQ(document.title, "Files");
    EXPECT_FALSE(ParseConsoleDocument("Title=No snap-in\n", &document, &error));
    EXPECT_FALSE(ParseConsoleDocument("SnapIn=B103D0C5-3192-4123-BD83-ABDAACA9F990\n", &document, &error)) << "braces required";
    EXPECT_FALSE(ParseConsoleDocument("just text\n", &document, &error));
    EXPECT_FALSE(ReadConsoleDocument("/nonexistent/Tsl3.msc", &document, &error));
}

TEST(ResourceAddressTest, ModuleAndPageOfAResAddress) {
    std::string module, page;
    ASSERT_TRUE(ParseResourceAddress("res://C:\\Tsl3\\OrvConsole.so/generalset.htm#7f00aa", &module, &page));
    EXPECT_EQ(module, "C:\\Tsl3\\OrvConsole.so");
    EXPECT_EQ(page, "generalset.htm");
    EXPECT_TRUE(ParseResourceAddress("RES:///tmp/m.so/p.htm", &module, &page));
    EXPECT_EQ(module, "/tmp/m.so");
    EXPECT_FALSE(ParseResourceAddress("https://example.invalid/x.htm", &module, &page));
    EXPECT_FALSE(ParseResourceAddress("res://module-without-page", &module, &page));
    EXPECT_FALSE(ParseResourceAddress("res://m.so/", &module, &page));
    std::string html;
    EXPECT_FALSE(LoadResourcePage("/nonexistent/module.so", "page.htm", &html)) << "never loads a module";
}
