#include "DownloadTestSupport.h"
#include "platform/Defaults.h"
#include "platform/net/Transfer.h"

#include <csignal>
#include <filesystem>
#include <glib.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

namespace {

// Fetches a URL of the store into a file and answers whether it succeeded.
class Fetch : public TransferDelegate {
public:
    Fetch(const std::string& url, std::string destination) : destination(std::move(destination)) {
        transfer = Transfer::start(url, *this);
        waitFor([this] { return done; });
    }
    void decideDestinationWithSuggestedFilename(Transfer& download, const std::string&) override {
        download.setDestination(destination, true);
    }
    void didFailWithError(Transfer&, const std::string&) override { done = true; }
    void downloadDidFinish(Transfer&) override {
        succeeded = true;
        done = true;
    }

    std::string destination;
    std::unique_ptr<Transfer> transfer;
    bool done = false;
    bool succeeded = false;
};

class DemoStoreTest : public DownloadTest {};

} // namespace

TEST_F(DemoStoreTest, DescriptionsAreServedByQueryWithTheStoresOwnAddress) {
    writeFile(store->descriptionsFolder() + "/order=17.xml",
              "<Download><Link>{{base}}/lessons/a.mov</Link><Link>{{base}}/b</Link></Download>");
    std::string base = store->store().baseURL();
    Fetch found(base + "/downloadStore/download.php?order=17", root() + "/order.xml");
    ASSERT_TRUE(found.succeeded);
    EXPECT_EQ(readFile(root() + "/order.xml"), "<Download><Link>" + base +
                                                   "/lessons/a.mov</Link><Link>" + base +
                                                   "/b</Link></Download>");
    writeFile(root() + "/secret.xml", "secret");
    Fetch unknown(base + "/downloadStore/download.php?order=18", root() + "/unknown.xml");
    Fetch escaping(base + "/downloadStore/download.php?../../secret", root() + "/escape.xml");
    EXPECT_FALSE(unknown.succeeded);
    EXPECT_FALSE(escaping.succeeded);
    EXPECT_EQ(store->store().requests().back().status, 404);
}

TEST_F(DemoStoreTest, FaultsCanBeSwitchedOverHttpsAndLessonsStayInTheirFolder) {
    makeLesson("x.mov", 1000);
    std::string base = store->store().baseURL();
    Fetch control(base + "/control/faults?status=500&slow=1000&ignore-range=1", root() + "/ok");
    ASSERT_TRUE(control.succeeded);
    FaultPlan plan = store->store().faults();
    EXPECT_EQ(plan.status, 500);
    EXPECT_EQ(plan.bytesPerSecond, 1000);
    EXPECT_TRUE(plan.ignoreRange);
    EXPECT_FALSE(plan.noContentLength);
    Fetch failing(store->lessonURL("x.mov"), root() + "/x.mov");
    EXPECT_FALSE(failing.succeeded);

    Fetch reset(base + "/control/faults", root() + "/ok");
    EXPECT_EQ(store->store().faults().status, 0);
    writeFile(store->lessonsFolder() + "/../outside.mov", "outside");
    Fetch outside(base + "/lessons/%2E%2E/outside.mov", root() + "/outside.mov");
    EXPECT_FALSE(outside.succeeded);
}

TEST_F(DemoStoreTest, TheProgramAnnouncesItsPortAndAuthorityAndServesLessons) {
    std::string folder = root() + "/program";
    writeFile(folder + "/lessons/Lesson.mov", "lesson bytes");
    std::vector<char*> argv{const_cast<char*>(DEMO_STORE_PROGRAM), const_cast<char*>("--folder"),
                            folder.data(), const_cast<char*>("--no-length"), nullptr};
    GPid pid = 0;
    int output = -1;
    ASSERT_TRUE(g_spawn_async_with_pipes(nullptr, argv.data(), nullptr, G_SPAWN_DO_NOT_REAP_CHILD,
                                         nullptr, nullptr, &pid, nullptr, &output, nullptr,
                                         nullptr));
    FILE* lines = fdopen(output, "r");
    char port[256] = {}, certificate[4096] = {};
    ASSERT_TRUE(fgets(port, sizeof port, lines));
    ASSERT_TRUE(fgets(certificate, sizeof certificate, lines));
    fclose(lines);
    EXPECT_EQ(readFile(folder + "/store.info"), std::string(port) + certificate);
    std::string authority = std::string(certificate).substr(12);
    authority.pop_back();
    Defaults::standard().setString("storeCertificate", authority);
    std::string number = std::string(port).substr(5);
    number.pop_back();
    Fetch lesson("https://127.0.0.1:" + number + "/lessons/Lesson.mov", root() + "/got.mov");
    EXPECT_TRUE(lesson.succeeded);
    EXPECT_EQ(readFile(root() + "/got.mov"), "lesson bytes");
    kill(pid, SIGTERM);
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}
