// Export and load of the language file over the forms model and a message table.
#include "ui/language_file.h"

#include <gtest/gtest.h>

#include "common/scratch_dir.h"
#include "platform/files.h"
#include "ui/forms.h"

namespace ui {
namespace {

using testing_support::ReadFile;
using testing_support::ScratchDir;
using testing_support::WriteFile;

const char kDeclaration[] = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n";

// One control of every translated class, and some that are not translated.
const TComponentDesc kClassesForm[] = {
    {.ClassName = "TComboBox", .Name = "Combo", .Items = {" first", "second "}},
    {.ClassName = "TAdvancedHeaderList", .Name = "Header", .Items = {"a", "b", "c"}},
    {.ClassName = "TDfsExtListView",
     .Name = "Columns",
     .Items = {"c0", "c1", "c2", "c3", "c4", "c5", "c6", "c7", "c8", "c9", "c10", "c11", "c12",
               "c13", "c14", "c15", "c16", "c17"}},
    {.ClassName = "TDynPanel", .Name = "Dyn", .Caption = "not this", .Text = "panel text"},
    {.ClassName = "TMenuItem", .Name = "MenuOpen", .Caption = "&Open", .Hint = "Opens"},
    {.ClassName = "TTabSheet", .Name = "Sheet", .Caption = "General"},
    {.ClassName = "TEdit", .Name = "Edit", .Caption = "edit caption", .Text = "edit text"},
    {.ClassName = "TLabel", .Name = "Empty"},
    {.ClassName = "TLabel", .Name = "Named", .Caption = "Name:"},
};

std::unique_ptr<TForm> ClassesForm() {
  return std::make_unique<TForm>(
      TFormDesc{.ClassName = "TClassesForm", .Name = "ClassesForm", .Caption = "Classes"},
      kClassesForm);
}

class LanguageFileTest : public testing::Test {
 protected:
  void SetUp() override {
    support::RegisterMessage("cName", name, &table);
    support::RegisterMessage("cDoYouExit", doYouExit, &table);
    support::RegisterMessage("cEmpty", empty, &table);
  }
  TApplicationForms Forms() const {
    return {main.get(), browse.get(), wizard.get(), classes.get()};
  }
  // A file holding the given FORMS and STRINGS content.
  std::string Translation(const std::string& forms, const std::string& strings) {
    std::string path = dir.Path() + "setup.lng";
    EXPECT_TRUE(WriteFile(path, std::string(kDeclaration) + "<APPLICATION><FORMS>" + forms +
                                    "</FORMS><STRINGS><STRING ID=\"TStrings\">" + strings +
                                    "</STRING></STRINGS></APPLICATION>"));
    return path;
  }

  ScratchDir dir;
  std::unique_ptr<TForm> main = CreateMainForm(), browse = CreateBrowseFolderForm(),
                         wizard = CreateWizardForm(), classes = ClassesForm();
  support::TMessageTable table;
  std::string name = "Orvik Mail Server", doYouExit = "Do you wish to cancel?", empty;
};

TEST_F(LanguageFileTest, ExportWritesFormsThenMessages) {
  const std::string path = dir.Path() + "setup.lng";
  ASSERT_TRUE(ExportLanguage(path, Forms(), true, "", &table));
  const std::string text = ReadFile(path);
  ASSERT_EQ(text.rfind(kDeclaration, 0), 0u);
  EXPECT_EQ(text.substr(text.size() - 2), "\r\n");

  const size_t mainForm =
      text.find("<FORM ID=\"TMainForm\" CAPTION=\"Setup\"><ITEM ID=\"WelcomeTitle\"");
  const size_t browseForm = text.find("<FORM ID=\"TBrowseFolder\" CAPTION=\"Choose Folder\">");
  const size_t wizardForm = text.find("<FORM ID=\"TWizardForm\" CAPTION=\"Wizard\">");
  const size_t strings =
      text.find("</FORMS>\r\n<STRINGS><STRING ID=\"TStrings\"><ITEM ID=\"cname\"");
  ASSERT_NE(mainForm, std::string::npos);
  ASSERT_NE(strings, std::string::npos);
  EXPECT_LT(mainForm, browseForm);
  EXPECT_LT(browseForm, wizardForm);
  EXPECT_LT(wizardForm, strings);

  EXPECT_NE(text.find("<ITEM ID=\"NextButton\" CLASS=\"tbutton\" CAPTION=\"&amp;Next &gt;\"/>\r\n"),
            std::string::npos);
  EXPECT_NE(text.find("<ITEM ID=\"AdvancedMode\" CLASS=\"tradiobutton\" CAPTION=\"Advanced\"/>"),
            std::string::npos);
  EXPECT_NE(text.find("<ITEM ID=\"DestinationGroup\" CLASS=\"tgroupbox\""), std::string::npos);
  EXPECT_NE(text.find("<ITEM ID=\"PathEdit\" CLASS=\"tlabel\" CAPTION=\"Orvik\\\"/>"),
            std::string::npos);
  // Memos, edits, check lists and panels carry no translated text; empty
  // captions are not written.
  EXPECT_EQ(text.find("\"LicenseMemo\""), std::string::npos);
  EXPECT_EQ(text.find("\"ComponentList\""), std::string::npos);
  EXPECT_EQ(text.find("\"WelcomePanel\""), std::string::npos);
  EXPECT_EQ(text.find("\"PageCaption\""), std::string::npos);

  EXPECT_NE(text.find("<ITEM ID=\"cname\" VALUE=\"Orvik Mail Server\"/>\r\n<ITEM "
                      "ID=\"cdoyouexit\" VALUE=\"Do you wish to cancel?\"/>\r\n<ITEM "
                      "ID=\"cempty\"/>\r\n</STRING>\r\n</STRINGS>\r\n</APPLICATION>\r\n"),
            std::string::npos);
}

TEST_F(LanguageFileTest, ExportOfEveryTranslatedClass) {
  const std::string path = dir.Path() + "classes.lng";
  ASSERT_TRUE(ExportLanguage(path, {classes.get()}, false, "", &table));
  const std::string text = ReadFile(path);
  EXPECT_EQ(text.find("<STRINGS>"), std::string::npos);
  EXPECT_NE(text.find("<ITEM ID=\"Combo\" CLASS=\"tcombobox\" ITEMSTEXT=\"first\r\nsecond\"/>"),
            std::string::npos);
  EXPECT_NE(
      text.find("<ITEM ID=\"Header\" CLASS=\"tadvancedheaderlist\" ITEMSTEXT=\"a\r\nb\r\nc\"/>"),
      std::string::npos);
  // A list view is written under the common class, with at most 16 columns.
  const size_t columns = text.find("<ITEM ID=\"Columns\" CLASS=\"tcustomlistview\" ITEMSTEXT=\"c0");
  ASSERT_NE(columns, std::string::npos);
  EXPECT_NE(text.find("c15\"/>", columns), std::string::npos);
  EXPECT_EQ(text.find("c16"), std::string::npos);
  EXPECT_NE(text.find("<ITEM ID=\"Dyn\" CLASS=\"tdynpanel\" CAPTION=\"panel text\"/>"),
            std::string::npos);
  EXPECT_NE(
      text.find("<ITEM ID=\"MenuOpen\" CLASS=\"tmenuitem\" CAPTION=\"&amp;Open\" HINT=\"Opens\"/>"),
      std::string::npos);
  EXPECT_NE(text.find("<ITEM ID=\"Sheet\" CLASS=\"ttabsheet\" CAPTION=\"General\"/>"),
            std::string::npos);
  EXPECT_EQ(text.find("\"Edit\""), std::string::npos);
  EXPECT_EQ(text.find("\"Empty\""), std::string::npos);
}

TEST_F(LanguageFileTest, ExportedTextsLoadBack) {
  const std::string path = dir.Path() + "setup.lng";
  ASSERT_TRUE(ExportLanguage(path, Forms(), true, "", &table));
  main->SetCaption("changed");
  main->Get("NextButton").SetCaption("changed");
  wizard->Get("FinishText").SetCaption("changed");
  classes->Get("Header").SetItems({"x", "y", "z"});
  classes->Get("Dyn").SetText("changed");
  name = "changed";
  ASSERT_TRUE(LoadLanguage(path, Forms(), true, &table));
  EXPECT_EQ(main->Caption(), "Setup");
  EXPECT_EQ(main->Get("NextButton").Caption(), "&Next >");
  EXPECT_EQ(wizard->Get("FinishText").Caption(),
            "You have successfully entered all of the information to setup your account.\r\n\r\n"
            "To save these settings, click Finish.");
  EXPECT_EQ(classes->Get("Header").Items(), (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(classes->Get("Dyn").Text(), "panel text");
  EXPECT_EQ(name, "Orvik Mail Server");
}

TEST_F(LanguageFileTest, TranslationChangesCaptionsTextsListsAndMessages) {
  const std::string path = Translation(
      "<FORM ID=\"TMainForm\" CAPTION=\"Installation\">"
      "<ITEM ID=\"NextButton\" CLASS=\"tbutton\" CAPTION=\"&amp;Weiter &gt;\" HINT=\"Weiter\"/>"
      "<ITEM ID=\"nextbutton\" CLASS=\"tbutton\" CAPTION=\"wrong case\"/>"
      "<ITEM ID=\"CheckLatest\" CLASS=\"TCheckBox\" CAPTION=\"Neue Version suchen\"/>"
      "<ITEM ID=\"Missing\" CLASS=\"tlabel\" CAPTION=\"skipped\"/>"
      "<ITEM ID=\"ComponentList\" CLASS=\"tchecklistbox\" ITEMSTEXT=\"ignored\"/>"
      "</FORM>"
      "<FORM ID=\"tbrowsefolder\" CAPTION=\"wrong case\"/>"
      "<FORM ID=\"TWizardForm\"><ITEM ID=\"NameLabel\" CLASS=\"tlabel\" CAPTION=\"Rechner:\"/>"
      "</FORM>"
      "<FORM ID=\"TClassesForm\" CAPTION=\"Klassen\">"
      "<ITEM ID=\"Combo\" CLASS=\"tcombobox\" ITEMSTEXT=\"eins\r\n\r\ndrei\"/>"
      "<ITEM ID=\"Dyn\" CLASS=\"tdynpanel\" CAPTION=\"Tafel\"/>"
      "<ITEM ID=\"MenuOpen\" CLASS=\"tmenuitem\" CAPTION=\"&amp;\xC3\x96"
      "ffnen\"/>"
      "<ITEM ID=\"Columns\" CLASS=\"tcustomlistview\" ITEMSTEXT=\" Spalte 0 \r\nSpalte 1\"/>"
      "</FORM>",
      "<ITEM ID=\"CDOYOUEXIT\" VALUE=\"Abbrechen?\"/><ITEM ID=\"cunknown\" VALUE=\"x\"/>"
      "<ITEM ID=\"cName\">Orvik &amp; Co</ITEM>");
  main->Get("CheckLatest").SetHint("old hint");
  ASSERT_TRUE(LoadLanguage(path, Forms(), true, &table));

  EXPECT_EQ(main->Caption(), "Installation");
  EXPECT_EQ(main->Get("NextButton").Caption(), "&Weiter >");
  EXPECT_EQ(main->Get("NextButton").Hint(), "Weiter");
  // The class is compared in lower case; an absent hint clears the hint.
  EXPECT_EQ(main->Get("CheckLatest").Caption(), "Neue Version suchen");
  EXPECT_EQ(main->Get("CheckLatest").Hint(), "");
  EXPECT_EQ(main->Get("ComponentList").Items()[0], "Mail Services (SMTP, POP3, IMAP)");
  // Form identifiers are case-sensitive.
  EXPECT_EQ(browse->Caption(), "Choose Folder");
  // A FORM without CAPTION clears the caption.
  EXPECT_EQ(wizard->Caption(), "");
  EXPECT_EQ(wizard->Get("NameLabel").Caption(), "Rechner:");

  EXPECT_EQ(classes->Caption(), "Klassen");
  EXPECT_EQ(classes->Get("Combo").Items(), (std::vector<std::string>{"eins", "", "drei"}));
  EXPECT_EQ(classes->Get("Combo").ItemIndex(), 0);
  EXPECT_EQ(classes->Get("Dyn").Text(), "Tafel");
  EXPECT_EQ(classes->Get("MenuOpen").Caption(),
            "&\xD6"
            "ffnen");  // back in the code page
  EXPECT_EQ(classes->Get("Columns").Items()[0], "Spalte 0");
  EXPECT_EQ(classes->Get("Columns").Items()[1], "Spalte 1");
  EXPECT_EQ(classes->Get("Columns").Items()[2], "c2");

  // Message identifiers match without regard to case; content wins over VALUE.
  EXPECT_EQ(doYouExit, "Abbrechen?");
  EXPECT_EQ(name, "Orvik & Co");
}

// Hand-edited files quote either way: a value holds the other quote character
// and ">" without ending there.
TEST_F(LanguageFileTest, QuotedValuesHoldTheOtherQuoteAndGreaterThan) {
  const std::string path = Translation(
      "<FORM ID=\"TMainForm\" CAPTION=\"Programme d'installation\">"
      "<ITEM ID=\"NextButton\" CLASS=\"tbutton\" CAPTION=\"&amp;Weiter >\"/>"
      "<ITEM ID=\"BackButton\" CLASS=\"tbutton\" CAPTION=\"l'\xC3\xA9tape d'avant\" "
      "HINT=\"Zur\xC3\xBC"
      "ck\"/>"
      "<ITEM ID=\"CheckLatest\" CLASS='tcheckbox' CAPTION='Version \"neu\"' HINT='>'/></FORM>"
      "<FORM ID=\"TWizardForm\" CAPTION=\"Assistant\"/>",
      "<ITEM ID=\"cname\" VALUE='Serveur \"Orvik\"'/>"
      "<ITEM ID=\"cdoyouexit\" VALUE=\"Voulez-vous quitter l'installation ?\"/>");
  ASSERT_TRUE(LoadLanguage(path, Forms(), true, &table));
  EXPECT_EQ(main->Caption(), "Programme d'installation");
  EXPECT_EQ(main->Get("NextButton").Caption(), "&Weiter >");
  EXPECT_EQ(main->Get("BackButton").Caption(), "l'\xE9tape d'avant");
  EXPECT_EQ(main->Get("BackButton").Hint(),
            "Zur\xFC"
            "ck");
  EXPECT_EQ(main->Get("CheckLatest").Caption(), "Version \"neu\"");
  EXPECT_EQ(main->Get("CheckLatest").Hint(), ">");
  EXPECT_EQ(wizard->Caption(), "Assistant");
  EXPECT_EQ(name, "Serveur \"Orvik\"");
  EXPECT_EQ(doYouExit, "Voulez-vous quitter l'installation ?");
}

// An item left open swallows what follows it: the load is no success, though
// what could be read before it stays applied.
TEST_F(LanguageFileTest, AnUnclosedItemIsNoSuccess) {
  const std::string path = Translation(
      "<FORM ID=\"TMainForm\" CAPTION=\"Eins\">"
      "<ITEM ID=\"BackButton\" CLASS=\"tbutton\" CAPTION=\"Zur&#252;ck\">"
      "<ITEM ID=\"NextButton\" CLASS=\"tbutton\" CAPTION=\"Weiter\"/></FORM>",
      "<ITEM ID=\"cname\" VALUE=\"Anders\"/>");
  EXPECT_FALSE(LoadLanguage(path, Forms(), true, &table));
  EXPECT_EQ(main->Caption(), "Eins");
  EXPECT_EQ(main->Get("NextButton").Caption(), "&Next >");
}

TEST_F(LanguageFileTest, EmptyMiddleLineFillsOnlyTwoSections) {
  const std::string path = Translation(
      "<FORM ID=\"TClassesForm\" CAPTION=\"Classes\">"
      "<ITEM ID=\"Header\" CLASS=\"tadvancedheaderlist\" ITEMSTEXT=\"Eins\r\n\r\nZwei\"/></FORM>",
      "");
  ASSERT_TRUE(LoadLanguage(path, Forms(), false, &table));
  EXPECT_EQ(classes->Get("Header").Items(), (std::vector<std::string>{"Eins", "Zwei", "c"}));
}

TEST_F(LanguageFileTest, LongMessagesTravelAsContent) {
  std::string longText(300, 'L');
  longText[0] = '<';
  longText[299] = '\xE9';
  std::string mediumText(200, 'M');
  support::TMessageTable messages;
  support::RegisterMessage("cLong", longText, &messages);
  support::RegisterMessage("cMedium", mediumText, &messages);
  const std::string path = dir.Path() + "long.lng";
  ASSERT_TRUE(ExportLanguage(path, {}, true, "", &messages));
  const std::string text = ReadFile(path);
  EXPECT_NE(text.find("<ITEM ID=\"clong\">&lt;LL"), std::string::npos);
  EXPECT_NE(text.find("<ITEM ID=\"cmedium\" VALUE=\"" + mediumText + "\"/>"), std::string::npos);

  const std::string savedLong = longText, savedMedium = mediumText;
  longText = mediumText = "";
  ASSERT_TRUE(LoadLanguage(path, {}, true, &messages));
  EXPECT_EQ(longText, savedLong);
  EXPECT_EQ(mediumText, savedMedium);
}

TEST_F(LanguageFileTest, AttributeTextsAreCutOnLoad) {
  const std::string path =
      Translation("<FORM ID=\"TMainForm\" CAPTION=\"" + std::string(300, 'c') + "\"/>",
                  "<ITEM ID=\"cname\" VALUE=\"" + std::string(300, 'v') + "\"/>");
  ASSERT_TRUE(LoadLanguage(path, Forms(), true, &table));
  EXPECT_EQ(main->Caption(), std::string(255, 'c'));
  EXPECT_EQ(name, std::string(255, 'v'));
}

TEST_F(LanguageFileTest, MismatchedClassEndsTheLoad) {
  const std::string path = Translation(
      "<FORM ID=\"TMainForm\" CAPTION=\"Eins\">"
      "<ITEM ID=\"BackButton\" CLASS=\"tbutton\" CAPTION=\"Zur&amp;\xC3\xBC"
      "ck\"/>"
      "<ITEM ID=\"PathEdit\" CLASS=\"tcombobox\" ITEMSTEXT=\"x\"/>"
      "<ITEM ID=\"NextButton\" CLASS=\"tbutton\" CAPTION=\"not applied\"/></FORM>"
      "<FORM ID=\"TWizardForm\" CAPTION=\"not applied\"/>",
      "<ITEM ID=\"cname\" VALUE=\"not applied\"/>");
  EXPECT_TRUE(LoadLanguage(path, Forms(), true, &table));
  EXPECT_EQ(main->Caption(), "Eins");
  EXPECT_EQ(main->Get("BackButton").Caption(),
            "Zur&\xFC"
            "ck");
  EXPECT_EQ(main->Get("PathEdit").Caption(), "Orvik\\");
  EXPECT_EQ(main->Get("NextButton").Caption(), "&Next >");
  EXPECT_EQ(wizard->Caption(), "Wizard");
  EXPECT_EQ(name, "Orvik Mail Server");
}

TEST_F(LanguageFileTest, MoreLinesThanSectionsEndTheLoadAfterTheFirst) {
  const std::string path = Translation(
      "<FORM ID=\"TClassesForm\" CAPTION=\"Classes\">"
      "<ITEM ID=\"Header\" CLASS=\"tadvancedheaderlist\" ITEMSTEXT=\"1\n2\n3\n4\"/>"
      "<ITEM ID=\"Sheet\" CLASS=\"ttabsheet\" CAPTION=\"not applied\"/></FORM>",
      "");
  EXPECT_TRUE(LoadLanguage(path, Forms(), false, &table));
  EXPECT_EQ(classes->Get("Header").Items(), (std::vector<std::string>{"1", "2", "3"}));
  EXPECT_EQ(classes->Get("Sheet").Caption(), "General");
}

TEST_F(LanguageFileTest, WithoutStringsMessagesStay) {
  const std::string path = Translation("", "<ITEM ID=\"cname\" VALUE=\"Anders\"/>");
  ASSERT_TRUE(LoadLanguage(path, Forms(), false, &table));
  EXPECT_EQ(name, "Orvik Mail Server");
  ASSERT_TRUE(LoadLanguage(path, Forms(), true, &table));
  EXPECT_EQ(name, "Anders");
}

TEST_F(LanguageFileTest, FilesThatCannotBeLoaded) {
  EXPECT_FALSE(LoadLanguage("", Forms(), true, &table));
  EXPECT_FALSE(LoadLanguage(dir.Path() + "missing.lng", Forms(), true, &table));
  ASSERT_TRUE(WriteFile(dir.Path() + "empty.lng", ""));
  EXPECT_FALSE(LoadLanguage(dir.Path() + "empty.lng", Forms(), true, &table));
  // Anything that parses counts as loaded, even without an APPLICATION.
  ASSERT_TRUE(WriteFile(dir.Path() + "other.lng", "just text <x/>"));
  EXPECT_TRUE(LoadLanguage(dir.Path() + "other.lng", Forms(), true, &table));
  EXPECT_EQ(main->Caption(), "Setup");
}

TEST_F(LanguageFileTest, ExportReplacesCreatesDirectoriesAndAppendsExtraText) {
  EXPECT_FALSE(ExportLanguage("", Forms(), true, "", &table));
  const std::string path = dir.Path() + "new\\sub\\setup.lng";
  ASSERT_TRUE(ExportLanguage(path, {browse.get()}, false, "<EXTRA a=\"1\"/>", &table));
  ASSERT_TRUE(ExportLanguage(path, {browse.get()}, false, "<EXTRA a=\"2\"/>", &table));
  const std::string text = ReadFile(path);
  EXPECT_NE(text.find("</FORMS>\r\n<EXTRA a=\"2\"/></APPLICATION>\r\n"), std::string::npos);
  EXPECT_EQ(text.find("a=\"1\""), std::string::npos);
  EXPECT_FALSE(platform::FileExists(path + ".new"));
  // A directory in the way of the file cannot be replaced.
  ASSERT_TRUE(platform::CreateDirectory(dir.Path() + "taken.lng"));
  EXPECT_FALSE(ExportLanguage(dir.Path() + "taken.lng", Forms(), true, "", &table));
}

TEST_F(LanguageFileTest, FormsWithoutNameAreNotExported) {
  TForm unnamed(TFormDesc{.ClassName = "TUnnamed", .Caption = "Hidden"});
  const std::string path = dir.Path() + "setup.lng";
  ASSERT_TRUE(ExportLanguage(path, {&unnamed, browse.get()}, false, "", &table));
  const std::string text = ReadFile(path);
  EXPECT_EQ(text.find("TUnnamed"), std::string::npos);
  EXPECT_NE(text.find("TBrowseFolder"), std::string::npos);
}

}  // namespace
}  // namespace ui
