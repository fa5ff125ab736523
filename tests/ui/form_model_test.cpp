// The model the logic reads and writes, and the notifications a renderer
// follows (recorded by the headless renderer).
#include <gtest/gtest.h>

#include "ui/form.h"
#include "ui/headless.h"

namespace ui {
namespace {

const TComponentDesc kTestComponents[] = {
    {.ClassName = "TPanel", .Name = "Page1", .Bounds = {0, 0, 100, 100}},
    {.ClassName = "TPanel", .Name = "Page2", .Bounds = {0, 0, 100, 100}},
    {.ClassName = "TButton",
     .Name = "Go",
     .Parent = "Page1",
     .Bounds = {1, 1, 10, 10},
     .Caption = "&Go",
     .Tag = 7},
    {.ClassName = "TCheckListBox",
     .Name = "List",
     .Parent = "Page2",
     .Bounds = {1, 1, 50, 50},
     .Items = {"a", "b", "c"}},
    {.ClassName = "TProgressBar",
     .Name = "Bar",
     .Parent = "Page2",
     .Bounds = {1, 60, 50, 10},
     .Max = 3,
     .Step = 2},
};

std::unique_ptr<TForm> TestForm() {
  return std::make_unique<TForm>(
      TFormDesc{.ClassName = "TTestForm", .Name = "TestForm", .Caption = "Test"}, kTestComponents);
}

TEST(FormModelTest, FindIsExactAndKeepsCreationOrder) {
  auto form = TestForm();
  EXPECT_NE(form->Find("Go"), nullptr);
  EXPECT_EQ(form->Find("go"), nullptr);  // component names are case-sensitive
  EXPECT_EQ(form->Find(""), nullptr);
  EXPECT_EQ(&form->Find("Go")->Owner(), form.get());
  ASSERT_EQ(form->Components().size(), 5u);
  EXPECT_EQ(form->Components()[3]->Name(), "List");
  auto children = form->Children("Page2");
  ASSERT_EQ(children.size(), 2u);
  EXPECT_EQ(children[0]->Name(), "List");
  EXPECT_EQ(children[1]->Name(), "Bar");
  EXPECT_EQ(form->Children("").size(), 2u);
  EXPECT_EQ(form->Get("Go").Tag(), 7);
}

TEST(FormModelTest, ChangesNotifyOnlyWhenTheValueChanges) {
  auto form = TestForm();
  HeadlessRenderer renderer;
  renderer.Attach(*form);
  TComponent& go = form->Get("Go");
  go.SetCaption("&Go");  // unchanged
  go.SetEnabled(true);
  go.SetVisible(true);
  EXPECT_TRUE(renderer.Updates().empty());

  go.SetCaption("&Run");
  go.SetEnabled(false);
  go.SetVisible(false);
  form->SetCaption("Other");
  ASSERT_EQ(renderer.Updates().size(), 4u);
  EXPECT_EQ(renderer.Updates()[0].Component, "Go");
  EXPECT_EQ(renderer.Updates()[0].What, Change::Caption);
  EXPECT_EQ(renderer.Updates()[1].What, Change::Enabled);
  EXPECT_EQ(renderer.Updates()[2].What, Change::Visible);
  EXPECT_EQ(renderer.Updates()[3].Form, "TTestForm");
  EXPECT_EQ(renderer.Updates()[3].Component, "");
  EXPECT_EQ(go.Caption(), "&Run");
  EXPECT_FALSE(go.Enabled());
  EXPECT_EQ(form->Caption(), "Other");

  renderer.Detach(*form);
  go.SetCaption("x");
  EXPECT_EQ(renderer.Updates().size(), 4u);
}

TEST(FormModelTest, ListItemsTicksAndSelection) {
  auto form = TestForm();
  TComponent& list = form->Get("List");
  list.SetItemChecked(0, true);
  list.SetItemChecked(2, true);
  list.SetItemChecked(3, true);   // no such entry
  list.SetItemChecked(-1, true);  // no such entry
  EXPECT_TRUE(list.ItemChecked(0));
  EXPECT_FALSE(list.ItemChecked(1));
  EXPECT_TRUE(list.ItemChecked(2));
  EXPECT_FALSE(list.ItemChecked(3));

  list.SetItemIndex(1);
  EXPECT_EQ(list.ItemIndex(), 1);
  list.SetItemIndex(3);
  EXPECT_EQ(list.ItemIndex(), -1);

  // Renaming one entry keeps the ticks; replacing the list clears them.
  list.SetItem(2, "C");
  EXPECT_EQ(list.Items()[2], "C");
  EXPECT_TRUE(list.ItemChecked(2));
  list.SetItemIndex(0);
  list.SetItems({"x", "y"});
  EXPECT_EQ(list.Items().size(), 2u);
  EXPECT_FALSE(list.ItemChecked(0));
  EXPECT_EQ(list.ItemIndex(), -1);
}

TEST(FormModelTest, FocusIsOnePerForm) {
  auto form = TestForm();
  EXPECT_EQ(form->Focused(), nullptr);
  form->Get("Go").SetFocus();
  EXPECT_TRUE(form->Get("Go").Focused());
  form->Get("List").SetFocus();
  EXPECT_FALSE(form->Get("Go").Focused());
  EXPECT_EQ(form->Focused(), form->Find("List"));
}

TEST(FormModelTest, BringToFrontPutsAPanelOnTop) {
  auto form = TestForm();
  EXPECT_EQ(form->FrontChild("")->Name(), "Page2");  // created last
  form->Get("Page1").BringToFront();
  EXPECT_EQ(form->FrontChild("")->Name(), "Page1");
  EXPECT_GT(form->Get("Page1").ZOrder(), form->Get("Page2").ZOrder());
  form->Get("Page2").BringToFront();
  EXPECT_EQ(form->FrontChild("")->Name(), "Page2");
  EXPECT_EQ(form->FrontChild("Go"), nullptr);
}

TEST(FormModelTest, ProgressStaysWithinItsRange) {
  auto form = TestForm();
  TComponent& bar = form->Get("Bar");
  bar.StepIt();
  EXPECT_EQ(bar.Position(), 2);
  bar.StepIt();
  EXPECT_EQ(bar.Position(), 3);
  bar.SetPosition(-5);
  EXPECT_EQ(bar.Position(), 0);
}

TEST(FormModelTest, RendererAndFormMayEndInEitherOrder) {
  auto form = TestForm();
  {
    HeadlessRenderer renderer;
    renderer.Attach(*form);
  }
  EXPECT_EQ(form->Listener(), nullptr);
  form->Get("Go").SetCaption("after");  // must not reach the ended renderer

  HeadlessRenderer renderer;
  auto other = TestForm();
  renderer.Attach(*other);
  other.reset();  // the renderer forgets it and must not touch it on its own end
  renderer.Attach(*form);
  form->SetModalResult(kMrOk);
  ASSERT_EQ(renderer.Updates().size(), 1u);
  EXPECT_EQ(renderer.Updates()[0].What, Change::ModalResult);
}

}  // namespace
}  // namespace ui
