#include "TestEnvironment.h"
#include "download/DownloadDescription.h"
#include "platform/data/AtomicFile.h"
#include "platform/data/PropertyList.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <string>

namespace {

std::string episodeXML(const std::string& instrument, const std::string& filename,
                       const std::string& link = "https://store.example/l.mov") {
    return "<Episode><Instrument>" + instrument +
           "</Instrument><Category>Grooves</Category><Sub-Category>Walking</Sub-Category>"
           "<Filename>" +
           filename + "</Filename><Artist>A</Artist><Level>Advanced</Level><Link>" + link +
           "</Link></Episode>";
}

std::map<std::string, std::string> valuesOf(const std::string& instrument,
                                            const std::string& filename) {
    return {{"Instrument", instrument}, {"Category", "Rhythm"}, {"Sub-Category", "Slap"},
            {"Filename", filename},     {"Artist", "A"},        {"Level", "Advanced"},
            {"Link", "https://h/x"}};
}

std::vector<std::string> filenamesIn(const std::string& series) {
    auto document = DownloadDescription::parse("<D>" + series + "</D>");
    std::vector<std::string> names;
    for (const EpisodeRecord& record :
         DownloadDescription::episodes(document ? document->document_element() : pugi::xml_node()))
        names.push_back(record.value("Filename"));
    return names;
}

} // namespace

TEST(DownloadDescriptionTest, EpisodesOfEverySeriesAreTakenInDocumentOrder) {
    std::string series = "<Series>" + episodeXML("Bass", "One.mov") +
                         episodeXML("Bass", "A<b>nested</b> &amp; <![CDATA[x]]>.mov") +
                         "</Series><Other>" + episodeXML("Bass", "Ignored.mov") +
                         "</Other><Series>" +
                         "<Episode Filename=\"attr.mov\"><Filename>first.mov</Filename>"
                         "<Filename>second.mov</Filename><Instrument>Bass \n</Instrument>"
                         "<Category>C</Category><Sub-Category>S</Sub-Category><Artist>A</Artist>"
                         "<Level>L</Level><Link>http://h/x</Link></Episode></Series>";
    EXPECT_EQ(filenamesIn(series),
              (std::vector<std::string>{"One.mov", "Anested & x.mov", "first.mov"}));
    auto document = DownloadDescription::parse("<D>" + series + "</D>");
    auto last = DownloadDescription::episodes(document->document_element()).back();
    EXPECT_EQ(last.relativeLibraryPath(), "Bass \n/C/S/first.mov") << "white space is kept";
}

TEST(DownloadDescriptionTest, UnsafeOrIncompleteEpisodesAreLeftOutAndTheOthersKept) {
    std::string missingLevel =
        "<Episode><Instrument>Bass</Instrument><Category>C</Category><Sub-Category>S"
        "</Sub-Category><Filename>NoLevel.mov</Filename><Artist>A</Artist>"
        "<Link>https://h/x</Link></Episode>";
    std::string noHost =
        episodeXML("B", "A.mov", "http://") + episodeXML("B", "B.mov", "https:///x");
    std::string series =
        "<Series>" + episodeXML("../../../etc", "Up.mov") + episodeXML("/tmp", "Abs.mov") +
        episodeXML("Bass/./x", "Dot.mov") + episodeXML("", "Empty.mov") +
        episodeXML("Bass", "sub/dir.mov") + episodeXML("Bass", "..") +
        episodeXML("Bass", "File.mov", "file:///etc/passwd") +
        episodeXML("Bass", "Js.mov", "javascript:alert(1)") + missingLevel + noHost +
        episodeXML("Bass/Fretless", "Good.mov", "HTTPS://h/good") + "</Series>";
    EXPECT_EQ(filenamesIn(series), std::vector<std::string>{"Good.mov"});
}

TEST(DownloadDescriptionTest, HostileTextIsRefusedOrReadLiterally) {
    std::string bomb = "<?xml version=\"1.0\"?><!DOCTYPE D [<!ENTITY a \"aaaaaaaaaa\">"
                       "<!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\">"
                       "<!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;\">"
                       "<!ENTITY ext SYSTEM \"file:///etc/passwd\">]><D><Series>" +
                       episodeXML("&c;", "Bomb.mov") + episodeXML("&ext;", "Ext.mov") +
                       "</Series></D>";
    auto document = DownloadDescription::parse(bomb);
    ASSERT_NE(document, nullptr);
    auto episodes = DownloadDescription::episodes(document->document_element());
    ASSERT_EQ(episodes.size(), 2u);
    EXPECT_EQ(episodes[0].value("Instrument"), "&c;") << "entities are never expanded";
    EXPECT_EQ(episodes[1].value("Instrument"), "&ext;");

    for (const std::string& malformed :
         {std::string("<D><Series></D>"), std::string("<D>\xff\xfe</D>"), std::string(),
          std::string(20000, '<')})
        EXPECT_EQ(DownloadDescription::parse(malformed), nullptr);

    std::string open, close;
    for (int i = 0; i < 100000; ++i) {
        open += "<b>";
        close += "</b>";
    }
    EXPECT_EQ(filenamesIn("<Series>" + episodeXML("Bass", "x" + open + "deep" + close + ".mov") +
                          "</Series>"),
              std::vector<std::string>{"xdeep.mov"})
        << "deep nesting is read without recursion";
}

TEST(EpisodeRecordTest, NamesAndAnnotationsComeFromTheValues) {
    auto record = EpisodeRecord::fromValues(valuesOf("Bass", "Blues.Lick.mov"));
    ASSERT_TRUE(record);
    EXPECT_EQ(record->recordFileName(), "Blues.Lick.plist");
    EXPECT_EQ(EpisodeRecord::deletingPathExtension("Lesson"), "Lesson");
    EXPECT_EQ(EpisodeRecord::deletingPathExtension(".hidden"), ".hidden");
    EXPECT_EQ(record->commentAnnotation(), "Rhythm Slap");
    EXPECT_EQ(record->descriptionAnnotation(), "Bass Advanced");
}

class PropertyListTest : public FreshEnvironmentTest {};

TEST_F(PropertyListTest, RecordsAndIntegersRoundTripThroughAtomicallyWrittenFiles) {
    auto values = valuesOf("Bass ", "Ünïcode.mov");
    values["Category"] = "R & B <Slap>";
    values["Artist"] = "";
    values["Link"] = "https://h/x?a=1&b=2";
    auto record = EpisodeRecord::fromValues(values);
    ASSERT_TRUE(record);
    std::string folder = root() + "/records";
    std::filesystem::create_directories(folder);
    ASSERT_TRUE(PropertyList::writeAtomically(folder + "/record.plist", record->toDictionary()));
    auto back = EpisodeRecord::readFromFile(folder + "/record.plist");
    ASSERT_TRUE(back);
    for (const char* key : EpisodeRecord::keys)
        EXPECT_EQ(back->value(key), record->value(key)) << key;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        EXPECT_EQ(entry.path().filename(), "record.plist") << "a temporary file was left";

    std::int64_t large = std::int64_t{1} << 40;
    ASSERT_TRUE(PropertyList::writeAtomically(
        folder + "/resume.plist", {{"Expected", std::int64_t{-1}}, {"Received", large}}));
    auto numbers = PropertyList::read(folder + "/resume.plist");
    ASSERT_TRUE(numbers);
    EXPECT_EQ(PropertyList::integerValue(*numbers, "Expected"), -1);
    EXPECT_EQ(PropertyList::integerValue(*numbers, "Received"), large);
    EXPECT_FALSE(PropertyList::stringValue(*numbers, "Expected"));
}

TEST_F(PropertyListTest, ForeignDamagedOrOversizedFilesAreNotRecords) {
    writeFile(root() + "/array.plist", "<?xml version=\"1.0\"?><plist><array/></plist>");
    writeFile(root() + "/garbage.plist", "not a property list");
    writeFile(root() + "/partial.plist",
              "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>Filename</key>");
    auto unsafe = valuesOf("..", "f");
    writeFile(root() + "/unsafe.plist",
              PropertyList::toXML(PropertyList::Dictionary(unsafe.begin(), unsafe.end())));
    std::string nul = "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>S</key>"
                      "<string>a";
    nul += '\0';
    nul += "b</string><key>B</key><true/><key>A</key><array/></dict></plist>";
    writeFile(root() + "/nul.plist", nul);
    EXPECT_TRUE(PropertyList::read(root() + "/nul.plist")->empty()) << "only strings and integers";
    for (const char* name : {"array", "garbage", "partial", "unsafe", "missing", "nul"})
        EXPECT_FALSE(EpisodeRecord::readFromFile(root() + "/" + name + ".plist")) << name;

    writeFile(root() + "/big", std::string(2000, 'x'));
    EXPECT_FALSE(AtomicFile::read(root() + "/big", 1999));
    EXPECT_EQ(AtomicFile::read(root() + "/big", 2000).value_or("").size(), 2000u);
    EXPECT_FALSE(AtomicFile::write(root() + "/no/such/folder/file", "x"));
}
