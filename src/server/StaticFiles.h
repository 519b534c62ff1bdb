#pragma once
#include <string>

#include "server/Api.h"

// The browser build's files, served from one folder: only regular files
// whose real path (links resolved) lies inside it, so that no request
// reaches anything else; the site's index.html with the world server's
// marker (docs/server.md, "The page it serves"). Without a folder, /
// answers a short page that says so.
namespace server {

class StaticFiles {
public:
    // `folder`: empty for none; false when it is not a folder.
    bool Open(const std::string& folder, std::string* error);
    // `path`: as StaticPath gave it ("index.html", "voidcrawl.js").
    Answer Serve(const std::string& path) const;

    static constexpr long long kMostBytes = 256LL * 1024 * 1024;

private:
    std::string root_;  // real path, without a trailing slash
};

// The page's index.html is served with this in its <head>: it tells the
// page that a world server serves it, so that it shows its World panel.
constexpr const char kWorldMarker[] = "<meta name=\"voidcrawl-world\" content=\"same-origin\">";
std::string WithWorldMarker(const std::string& page);

// The Content-Type of a file by its name's ending.
const char* ContentTypeOf(const std::string& path);

}  // namespace server
