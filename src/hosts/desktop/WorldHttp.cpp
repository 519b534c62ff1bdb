#include "hosts/desktop/WorldHttp.h"

#include <curl/curl.h>
#include <strings.h>

#include <cstdlib>
#include <cstring>
#include <mutex>

namespace {

// The most a header's number may say (Retry-After in seconds, a count).
constexpr int64_t kMaxHeaderNumber = 1000000000000LL;

struct Transfer {
    HttpAnswer* answer;
    size_t maxBody;
    bool tooLarge = false;
    const std::atomic<bool>* stop;
};

size_t TakeBody(char* data, size_t size, size_t count, void* context) {
    Transfer& transfer = *static_cast<Transfer*>(context);
    const size_t bytes = size * count;
    if (transfer.answer->body.size() + bytes > transfer.maxBody) {
        transfer.tooLarge = true;
        return 0;  // curl ends the transfer with a write error
    }
    transfer.answer->body.append(data, bytes);
    return bytes;
}

// A header "Name: 123" as a number, when it is `name`'s.
bool HeaderNumber(const char* line, size_t size, const char* name, int64_t* out) {
    const size_t nameSize = std::strlen(name);
    if (size <= nameSize + 1 || strncasecmp(line, name, nameSize) != 0 || line[nameSize] != ':') return false;
    size_t at = nameSize + 1;
    while (at < size && (line[at] == ' ' || line[at] == '\t')) ++at;
    int64_t value = 0;
    size_t digits = 0;
    for (; at < size && line[at] >= '0' && line[at] <= '9'; ++at, ++digits) {
        value = value * 10 + (line[at] - '0');
        if (value > kMaxHeaderNumber) return false;
    }
    if (digits == 0) return false;
    *out = value;
    return true;
}

size_t TakeHeader(char* line, size_t size, size_t count, void* context) {
    Transfer& transfer = *static_cast<Transfer*>(context);
    const size_t bytes = size * count;
    HeaderNumber(line, bytes, "Retry-After", &transfer.answer->retryAfter);
    HeaderNumber(line, bytes, "X-Total-Count", &transfer.answer->totalCount);
    HeaderNumber(line, bytes, "X-Feed-Held", &transfer.answer->feedHeld);
    int64_t ended = 0;
    if (HeaderNumber(line, bytes, "X-Feed-Ended", &ended)) transfer.answer->feedEnded = ended == 1;
    return bytes;
}

int Progress(void* context, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    const Transfer& transfer = *static_cast<const Transfer*>(context);
    return transfer.stop != nullptr && transfer.stop->load() ? 1 : 0;
}

void InitCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

}  // namespace

HttpSession::~HttpSession() {
    if (handle != nullptr) curl_easy_cleanup(static_cast<CURL*>(handle));
}

bool HttpRequest(const std::string& url, const uint8_t* post, size_t postSize, const HttpLimits& limits,
                 const std::atomic<bool>* stop, HttpAnswer* answer, HttpSession* session) {
    InitCurlOnce();
    *answer = HttpAnswer{};
    CURL* curl =
        session != nullptr && session->handle != nullptr ? static_cast<CURL*>(session->handle) : curl_easy_init();
    if (session != nullptr && session->handle != nullptr) curl_easy_reset(curl);  // (its connections stay)
    if (session != nullptr) session->handle = curl;
    if (curl == nullptr) {
        answer->failure = "the network library could not start";
        return false;
    }
    Transfer transfer{answer, limits.maxBody, false, stop};
    char error[CURL_ERROR_SIZE] = {};
    curl_slist* headers = nullptr;
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, error);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, limits.connectMs);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, limits.totalMs);
    curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(limits.maxBody));
    curl_easy_setopt(curl, CURLOPT_USERAGENT, "VoidCrawl");
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, TakeBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, TakeHeader);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &transfer);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, Progress);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &transfer);
    if (post != nullptr) {
        headers = curl_slist_append(headers, "Content-Type: application/octet-stream");
        headers = curl_slist_append(headers, "Expect:");  // no wait for 100 Continue
        curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
        curl_easy_setopt(curl, CURLOPT_POST, 1L);
        curl_easy_setopt(curl, CURLOPT_POSTFIELDS, post);
        curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(postSize));
    }
    const CURLcode code = curl_easy_perform(curl);
    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    curl_slist_free_all(headers);
    if (session == nullptr) curl_easy_cleanup(curl);
    if (code == CURLE_OK) {
        answer->status = status;
        return true;
    }
    answer->body.clear();
    if (transfer.tooLarge || code == CURLE_FILESIZE_EXCEEDED)
        answer->failure = "the server's answer is too large";
    else if (code == CURLE_OPERATION_TIMEDOUT)
        answer->failure = "the server did not answer in time";
    else if (code == CURLE_ABORTED_BY_CALLBACK)
        answer->failure = "stopped";
    else
        answer->failure =
            std::string("cannot reach the server: ") + (error[0] != '\0' ? error : curl_easy_strerror(code));
    return false;
}
