#include "TestEnvironment.h"
#include "download/DownloadDescription.h"
#include "platform/data/AtomicFile.h"
#include "platform/data/PlistHandle.h"
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

std::vector<EpisodeRecord> episodesOf(const std::string& xml) {
    auto document = DownloadDescription::parse(xml);
    if (!document)
        return {};
    return DownloadDescription::episodes(document->document_element());
}

} // namespace

TEST(DownloadDescriptionTest, SeriesAndEpisodesAreTakenInDocumentOrderUnderAnyRoot) {
    auto episodes = episodesOf("<Purchase><Series>" + episodeXML("Bass", "One.mov") +
                               episodeXML("Bass", "Two.mov") + "</Series><Other>" +
                               episodeXML("Bass", "Ignored.mov") + "</Other><Series>" +
                               episodeXML("Guitar", "Three.mov") + "</Series></Purchase>");
    ASSERT_EQ(episodes.size(), 3u);
    EXPECT_EQ(episodes[0].value("Filename"), "One.mov");
    EXPECT_EQ(episodes[1].value("Filename"), "Two.mov");
    EXPECT_EQ(episodes[2].value("Filename"), "Three.mov");
    EXPECT_EQ(episodes[2].relativeLibraryPath(), "Guitar/Grooves/Walking/Three.mov");
}

TEST(DownloadDescriptionTest, ValuesKeepTheirWhiteSpaceAndFullTextContent) {
    auto episodes =
        episodesOf("<D><Series>" + episodeXML("Bass \n", "A<b>nested</b> &amp; <![CDATA[x]]>.mov") +
                   "</Series></D>");
    ASSERT_EQ(episodes.size(), 1u);
    EXPECT_EQ(episodes[0].value("Instrument"), "Bass \n");
    EXPECT_EQ(episodes[0].value("Filename"), "Anested & x.mov");
}

TEST(DownloadDescriptionTest, TheFirstElementOfEachNameCountsAndAttributesAreIgnored) {
    auto episodes = episodesOf(
        "<D><Series><Episode Filename=\"attr.mov\"><Filename>first.mov</Filename>"
        "<Filename>second.mov</Filename><Instrument>Bass</Instrument><Category>C</Category>"
        "<Sub-Category>S</Sub-Category><Artist>A</Artist><Level>L</Level>"
        "<Link>http://h/x</Link></Episode></Series></D>");
    ASSERT_EQ(episodes.size(), 1u);
    EXPECT_EQ(episodes[0].value("Filename"), "first.mov");
}

TEST(DownloadDescriptionTest, UnsafeOrIncompleteEpisodesAreLeftOutAndTheOthersKept) {
    std::string missingLevel =
        "<Episode><Instrument>Bass</Instrument><Category>C</Category><Sub-Category>S"
        "</Sub-Category><Filename>NoLevel.mov</Filename><Artist>A</Artist>"
        "<Link>https://h/x</Link></Episode>";
    std::string noHost =
        episodeXML("B", "A.mov", "http://") + episodeXML("B", "B.mov", "https:///x");
    auto episodes =
        episodesOf("<D><Series>" + episodeXML("../../../etc", "Up.mov") +
                   episodeXML("/tmp", "Abs.mov") + episodeXML("Bass/./x", "Dot.mov") +
                   episodeXML("", "Empty.mov") + episodeXML("Bass", "sub/dir.mov") +
                   episodeXML("Bass", "..") + episodeXML("Bass", "File.mov", "file:///etc/passwd") +
                   episodeXML("Bass", "Js.mov", "javascript:alert(1)") + missingLevel + noHost +
                   episodeXML("Bass/Fretless", "Good.mov", "HTTPS://h/good") + "</Series></D>");
    ASSERT_EQ(episodes.size(), 1u);
    EXPECT_EQ(episodes[0].value("Filename"), "Good.mov");
}

TEST(DownloadDescriptionTest, DeclaredEntitiesAreNeverExpanded) {
    std::string bomb = "<?xml version=\"1.0\"?><!DOCTYPE D [<!ENTITY a \"aaaaaaaaaa\">"
                       "<!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\">"
                       "<!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;\">"
                       "<!ENTITY d \"&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;\">"
                       "<!ENTITY ext SYSTEM \"file:///etc/passwd\">]>"
                       "<D><Series>" +
                       episodeXML("&d;", "Bomb.mov") + episodeXML("&ext;", "Ext.mov") +
                       "</Series></D>";
    auto episodes = episodesOf(bomb);
    ASSERT_EQ(episodes.size(), 2u);
    EXPECT_EQ(episodes[0].value("Instrument"), "&d;");
    EXPECT_EQ(episodes[1].value("Instrument"), "&ext;");
}

TEST(DownloadDescriptionTest, MalformedTextGivesNoDocument) {
    EXPECT_EQ(DownloadDescription::parse("<D><Series></D>"), nullptr);
    EXPECT_EQ(DownloadDescription::parse("<D>\xff\xfe</D>"), nullptr);
    EXPECT_EQ(DownloadDescription::parse(""), nullptr);
    std::string deep(20000, '<');
    EXPECT_EQ(DownloadDescription::parse(deep), nullptr);
}

TEST(DownloadDescriptionTest, DeepNestingInsideAValueIsReadWithoutRecursion) {
    std::string nested;
    for (int i = 0; i < 100000; ++i)
        nested += "<b>";
    nested += "deep";
    for (int i = 0; i < 100000; ++i)
        nested += "</b>";
    auto episodes =
        episodesOf("<D><Series>" + episodeXML("Bass", "x" + nested + ".mov") + "</Series></D>");
    ASSERT_EQ(episodes.size(), 1u);
    EXPECT_EQ(episodes[0].value("Filename"), "xdeep.mov");
}

TEST(EpisodeRecordTest, RecordFileNameDropsOnlyTheLastExtension) {
    auto record = EpisodeRecord::fromValues({{"Instrument", "Bass"},
                                             {"Category", "C"},
                                             {"Sub-Category", "S"},
                                             {"Filename", "Blues.Lick.mov"},
                                             {"Artist", "A"},
                                             {"Level", "L"},
                                             {"Link", "https://h/x"}});
    ASSERT_TRUE(record);
    EXPECT_EQ(record->recordFileName(), "Blues.Lick.plist");
    EXPECT_EQ(EpisodeRecord::deletingPathExtension("Lesson"), "Lesson");
    EXPECT_EQ(EpisodeRecord::deletingPathExtension(".hidden"), ".hidden");
}

TEST(EpisodeRecordTest, AnnotationsJoinTheirTwoValuesWithOneSpace) {
    auto record = EpisodeRecord::fromValues({{"Instrument", "Bass"},
                                             {"Category", "Rhythm"},
                                             {"Sub-Category", "Slap"},
                                             {"Filename", "f.mov"},
                                             {"Artist", "A"},
                                             {"Level", "Advanced"},
                                             {"Link", "https://h/x"}});
    ASSERT_TRUE(record);
    EXPECT_EQ(record->commentAnnotation(), "Rhythm Slap");
    EXPECT_EQ(record->descriptionAnnotation(), "Bass Advanced");
}

class PropertyListTest : public FreshEnvironmentTest {};

TEST_F(PropertyListTest, RecordsRoundTripThroughAtomicallyWrittenFiles) {
    auto record = EpisodeRecord::fromValues({{"Instrument", "Bass "},
                                             {"Category", "R & B"},
                                             {"Sub-Category", "<Slap>"},
                                             {"Filename", "Ünïcode.mov"},
                                             {"Artist", ""},
                                             {"Level", "L"},
                                             {"Link", "https://h/x?a=1&b=2"}});
    ASSERT_TRUE(record);
    std::string folder = root() + "/records";
    std::filesystem::create_directories(folder);
    std::string path = folder + "/record.plist";
    ASSERT_TRUE(PropertyList::writeAtomically(path, record->toDictionary()));
    auto back = EpisodeRecord::readFromFile(path);
    ASSERT_TRUE(back);
    for (const char* key : EpisodeRecord::keys)
        EXPECT_EQ(back->value(key), record->value(key)) << key;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        EXPECT_EQ(entry.path().filename(), "record.plist") << "a temporary file was left";
}

TEST_F(PropertyListTest, IntegersKeepTheirSignAndOtherTypesAreSkipped) {
    std::string path = root() + "/resume.plist";
    ASSERT_TRUE(PropertyList::writeAtomically(
        path, {{"ExpectedLength", std::int64_t{-1}}, {"ReceivedLength", std::int64_t{1} << 40}}));
    auto back = PropertyList::read(path);
    ASSERT_TRUE(back);
    EXPECT_EQ(PropertyList::integerValue(*back, "ExpectedLength"), -1);
    EXPECT_EQ(PropertyList::integerValue(*back, "ReceivedLength"), std::int64_t{1} << 40);
    EXPECT_FALSE(PropertyList::stringValue(*back, "ExpectedLength"));

    auto mixed = PropertyList::fromXML(
        "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>S</key><string>s</string>"
        "<key>B</key><true/><key>A</key><array/></dict></plist>");
    ASSERT_TRUE(mixed);
    EXPECT_EQ(mixed->size(), 1u);
}

TEST_F(PropertyListTest, ForeignOrDamagedFilesAreNotRecords) {
    writeFile(root() + "/array.plist", "<?xml version=\"1.0\"?><plist><array/></plist>");
    writeFile(root() + "/garbage.plist", "not a property list");
    writeFile(root() + "/partial.plist",
              "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>Filename</key>");
    writeFile(root() + "/unsafe.plist", PropertyList::toXML({{"Instrument", ".."},
                                                             {"Category", "C"},
                                                             {"Sub-Category", "S"},
                                                             {"Filename", "f"},
                                                             {"Artist", "A"},
                                                             {"Level", "L"},
                                                             {"Link", "https://h/x"}}));
    std::string nul = "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>Filename</key>"
                      "<string>a";
    nul += '\0';
    nul += "b</string></dict></plist>";
    writeFile(root() + "/nul.plist", nul);
    EXPECT_TRUE(PropertyList::read(root() + "/nul.plist")->empty());
    for (const char* name : {"array", "garbage", "partial", "unsafe", "missing", "nul"})
        EXPECT_FALSE(EpisodeRecord::readFromFile(root() + "/" + name + ".plist")) << name;
}

TEST_F(PropertyListTest, AtomicReadsRefuseOversizedFiles) {
    writeFile(root() + "/big", std::string(2000, 'x'));
    EXPECT_FALSE(AtomicFile::read(root() + "/big", 1999));
    EXPECT_EQ(AtomicFile::read(root() + "/big", 2000)->size(), 2000u);
    EXPECT_FALSE(AtomicFile::write(root() + "/no/such/folder/file", "x"));
}

TEST(PlistHandleTest, FreesTheTreeItOwns) {
    PlistHandle handle(plist_new_dict());
    plist_dict_set_item(handle.get(), "k", plist_new_string("v"));
    PlistHandle moved = std::move(handle);
    EXPECT_EQ(handle, nullptr);
    EXPECT_EQ(plist_dict_get_size(moved.get()), 1u);
}
