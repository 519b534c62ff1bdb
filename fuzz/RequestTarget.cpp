// The server's reading of a request: the bytes as an HTTP request (Beast's
// parser, under the server's header and body limits), then its method and
// target as a route (server/Routes), and X-Forwarded-For as an address.
//
// Rules checked:
//   - a route's parameters are within their ranges, an id is 16 lower-case
//     hex digits, a refusal says why (400) or which methods (405);
//   - a static path is relative and has no empty, "." or ".." segment, no
//     backslash and no control byte, so it cannot leave the site's folder;
//   - the client's address is never empty.

#include <boost/beast/http.hpp>
#include <cstring>
#include <string>
#include <string_view>

#include "FuzzTargets.h"
#include "io/ReplayFile.h"
#include "server/HttpServer.h"
#include "server/Routes.h"

namespace {

namespace http = boost::beast::http;

void CheckRoute(const server::Route& r) {
    using server::RouteKind;
    switch (r.kind) {
    case RouteKind::Scores:
        FUZZ_CHECK(r.difficulty >= 0 && r.difficulty <= 2);
        FUZZ_CHECK(r.limit >= 1 && r.limit <= server::kMostLimit);
        FUZZ_CHECK(r.offset >= 0);
        break;
    case RouteKind::Around:
        FUZZ_CHECK(server::IsReplayId(r.id));
        FUZZ_CHECK(r.before >= 0 && r.before <= server::kMostAround && r.after >= 0 && r.after <= server::kMostAround);
        break;
    case RouteKind::GetReplay:
        FUZZ_CHECK(server::IsReplayId(r.id));
        break;
    case RouteKind::Static: {
        FUZZ_CHECK(!r.path.empty() && r.path.front() != '/' && r.path.back() != '/');
        for (const char c : r.path) FUZZ_CHECK(static_cast<unsigned char>(c) >= 0x20 && c != 0x7F && c != '\\');
        const std::string wrapped = "/" + r.path + "/";
        FUZZ_CHECK(wrapped.find("/../") == std::string::npos && wrapped.find("/./") == std::string::npos &&
                   wrapped.find("//") == std::string::npos);
        break;
    }
    case RouteKind::BadRequest:
        FUZZ_CHECK(!r.error.empty());
        break;
    case RouteKind::MethodNotAllowed:
        FUZZ_CHECK(!r.allow.empty());
        break;
    default:
        break;
    }
}

}  // namespace

int FuzzRequest(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    // The route alone: "METHOD TARGET" from the bytes as they are.
    const size_t space = text.find(' ');
    if (space != std::string_view::npos) CheckRoute(server::ParseRoute(text.substr(0, space), text.substr(space + 1)));
    // The bytes as a request.
    http::request_parser<http::string_body> parser;
    parser.header_limit(8 * 1024);
    parser.body_limit(kReplayFileCapacity);
    parser.eager(true);
    boost::beast::error_code ec;
    parser.put(boost::asio::buffer(data, size), ec);
    if (!ec && parser.is_header_done()) {
        const auto& req = parser.get();
        CheckRoute(server::ParseRoute(std::string(req.method_string()), std::string(req.target())));
        const auto xff = req.find("X-Forwarded-For");
        const std::string forwarded = xff == req.end() ? std::string() : std::string(xff->value());
        FUZZ_CHECK(!server::ClientAddress("127.0.0.1", forwarded, true).empty());
    }
    return 0;
}
