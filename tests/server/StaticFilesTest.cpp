// The browser build's files: only regular files whose real path lies in the
// site's folder; a link out of it, a folder, or a file beside it is not
// served. Every answer names its type.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "server/StaticFiles.h"

namespace server_test {
namespace {

namespace fs = std::filesystem;

class ServerStaticFiles : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = fs::path(::testing::TempDir()) / ("vc_static_" + std::to_string(::getpid()));
        fs::remove_all(root_);
        fs::create_directories(root_ / "site" / "sub");
        Write(root_ / "site" / "index.html", "<p>page</p>");
        Write(root_ / "site" / "voidcrawl.wasm", "\0asm");
        Write(root_ / "site" / "sub" / "index.html", "sub");
        Write(root_ / "secret.txt", "secret");
        Write(root_ / "site-other.txt", "beside");
        fs::create_symlink(root_ / "secret.txt", root_ / "site" / "out.txt");
        fs::create_symlink(root_ / "site" / "index.html", root_ / "site" / "in.html");
        fs::create_symlink(root_, root_ / "site" / "up");
    }
    void TearDown() override { fs::remove_all(root_); }
    static void Write(const fs::path& p, const std::string& s) { std::ofstream(p, std::ios::binary) << s; }
    fs::path root_;
};

TEST_F(ServerStaticFiles, ServesFilesInsideAndNothingOutside) {
    server::StaticFiles files;
    std::string error;
    ASSERT_TRUE(files.Open((root_ / "site").string(), &error)) << error;
    server::Answer a = files.Serve("index.html");
    EXPECT_EQ(a.status, 200);
    EXPECT_EQ(a.body, std::string(server::kWorldMarker) + "<p>page</p>");
    EXPECT_EQ(a.contentType, "text/html; charset=utf-8");
    EXPECT_EQ(files.Serve("voidcrawl.wasm").contentType, "application/wasm");
    EXPECT_EQ(files.Serve("sub/index.html").body, "sub");
    EXPECT_EQ(files.Serve("in.html").body, "<p>page</p>");  // a link that stays inside (no marker: not the page)
    for (const char* path : {"out.txt", "up/secret.txt", "../secret.txt", "sub", "missing.html", "../site-other.txt"}) {
        a = files.Serve(path);
        EXPECT_EQ(a.status, 404) << path;
        EXPECT_EQ(a.body.find("secret"), std::string::npos) << path;
    }
}

TEST(ServerWorldMarker, GoesIntoTheHeadOnce) {
    const std::string m = server::kWorldMarker;
    struct Case {
        const char* page;
        std::string served;
    } cases[] = {
        {"<html><head><title>x</title></head>", "<html><head>" + m + "<title>x</title></head>"},
        {"<HTML><HEAD lang=en>", "<HTML><HEAD lang=en>" + m},
        {"<header>a</header>", m + "<header>a</header>"},  // not a head
        {"<p>none</p>", m + "<p>none</p>"},
        {"", m},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(server::WithWorldMarker(c.page), c.served) << c.page;
        EXPECT_EQ(server::WithWorldMarker(c.served), c.served) << c.page;  // once
    }
}

TEST_F(ServerStaticFiles, WithoutAFolderOnlyTheRootAnswers) {
    server::StaticFiles files;
    std::string error;
    ASSERT_TRUE(files.Open("", &error));
    EXPECT_EQ(files.Serve("index.html").status, 200);
    EXPECT_EQ(files.Serve("voidcrawl.js").status, 404);
    EXPECT_FALSE(files.Open((root_ / "secret.txt").string(), &error));
    EXPECT_FALSE(files.Open("/", &error));
}

}  // namespace
}  // namespace server_test
