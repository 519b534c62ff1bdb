#pragma once
#include <string>

#include "server/Api.h"

// The browser build's files, served from one folder: only regular files
// whose real path (links resolved) lies inside it, so that no request
// reaches anything else. Without a folder, / answers a short page that
// says so.
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

// The Content-Type of a file by its name's ending.
const char* ContentTypeOf(const std::string& path);

}  // namespace server
