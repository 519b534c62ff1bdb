#include "hosts/web/WebWorld.h"

#include <emscripten.h>

#include <cstdio>
#include <cstring>

#include "platform/SaveFile.h"
#include "platform/UserDir.h"
#include "platform/WorldLink.h"

namespace {

// The games that may wait to be sent at once, and the largest one taken (no
// replay is larger; the server refuses one it cannot hold in any case).
constexpr int kOutboxMost = 32;
constexpr size_t kSendMost = 1024 * 1024;
constexpr char kOutboxFolder[] = "world-outbox";

// The bodies of EM_JS are JavaScript, which the C++ formatter would break.
// (They are one line to the compiler: every statement ends with its
// semicolon, and no comment or string inside holds an apostrophe.)
// clang-format off

// Module.vcWorld: the link as the page runs it. Answers wait there, checked
// and cut to size, until the game takes them between its passes.
EM_JS(void, WebWorldOpen, (const char* outboxFolder, int outboxMost, int sendMost), {
    const world = Module.vcWorld = {
        outbox: UTF8ToString(outboxFolder), server: "", base: "", sending: false,
        queue: [], busy: false, retryAt: 0, wait: 0, timer: null,
        answers: [], taken: [], done: [], own: [],
        table: {state: 0, ask: 0}, replay: {state: 0, ask: 0}, feed: {state: 0, ask: 0},
        posts: 0,
    };
    const kPostMs = 60000;  /* the server re-plays the game before it answers */
    const kGetMs = 15000;
    const kAnswerBytes = 256 * 1024;
    const kFirstWait = 15;  /* seconds; doubled after each failure */
    const kLongestWait = 900;
    const kAnswersKept = 64;
    const page = () => (Module.vcPage && Module.vcPage.world ? Module.vcPage.world : null);
    const isId = (id) => typeof id === "string" && /^[0-9a-f]{16}$/.test(id);
    const count = (n, least, most) => (Number.isSafeInteger(n) && n >= least && n <= most ? n : null);

    world.address = (server) => {
        if (!server) return page() ? page().base : "";
        try {
            const url = new URL(server);
            if (url.protocol !== "http:" && url.protocol !== "https:") return "";
            url.search = "";
            url.hash = "";
            return url.href.endsWith("/") ? url.href : url.href + "/";
        } catch (e) {
            return "";
        }
    };

    /* The server's address: the settings' one, else the page's own server
       once the page knows it is served by one (it may learn that after the
       game has started). */
    world.where = () => {
        if (!world.base) world.base = world.address(world.server);
        return world.base;
    };

    /* At most `most` bytes of the answer to `path`, within `ms`. */
    world.fetch = async (path, init, most, ms) => {
        const abort = new AbortController();
        const timer = setTimeout(() => abort.abort(), ms);
        try {
            const response = await fetch(new URL(path, world.base),
                Object.assign({}, init, {signal: abort.signal, cache: "no-store"}));
            const chunks = [];
            let size = 0;
            const reader = response.body ? response.body.getReader() : null;
            while (reader) {
                const next = await reader.read();
                if (next.done) break;
                size += next.value.length;
                if (size > most) {
                    abort.abort();
                    throw new Error(`the server sent more than ${most} bytes`);
                }
                chunks.push(next.value);
            }
            const bytes = new Uint8Array(size);
            let at = 0;
            for (const chunk of chunks) {
                bytes.set(chunk, at);
                at += chunk.length;
            }
            return {status: response.status, headers: response.headers, bytes};
        } catch (e) {
            if (e.name === "AbortError") throw new Error("the server did not answer in time");
            if (e instanceof TypeError) throw new Error("the server cannot be reached");
            throw e;
        } finally {
            clearTimeout(timer);
        }
    };
    world.json = (bytes) => {
        try {
            return JSON.parse(new TextDecoder().decode(bytes));
        } catch (e) {
            return undefined;
        }
    };
    world.words = (answer) => {
        const body = world.json(answer.bytes);
        const said = body && typeof body.error === "string" ? Array.from(body.error).map((c) => {
            const code = c.codePointAt(0);
            return code < 32 || code === 127 ? " " : c;
        }).join("").trim() : "";
        return said || `the server answered ${answer.status}`;
    };
    /* A name as the game tables hold it: Latin-1, no control characters. */
    world.name = (text) => (typeof text === "string" ? Array.from(text).map((c) => {
        const code = c.codePointAt(0);
        return code >= 32 && code !== 127 && code <= 255 ? c : "?";
    }).join("") : "");
    world.row = (row) => {
        if (!row || typeof row !== "object") return null;
        const rank = count(row.rank, 1, Number.MAX_SAFE_INTEGER);
        const score = count(row.score, -2147483648, 2147483647);
        if (rank === null || score === null) return null;
        return {
            rank, score, name: world.name(row.name),
            level: count(row.level, 0, 2147483647) || 0,
            length: count(row.length, 0, 2147483647) || 0,
            date: typeof row.date === "string" && /^[0-9]{4}-[0-9]{2}-[0-9]{2}$/.test(row.date) ? row.date : "",
            replay: isId(row.replay) ? row.replay : "",
        };
    };
    world.rows = (answer, most) => {
        if (answer.status !== 200) throw new Error(world.words(answer));
        const body = world.json(answer.bytes);
        if (!Array.isArray(body)) throw new Error("the server answer is not a table");
        return body.slice(0, most).map(world.row).filter(Boolean);
    };
    world.isOwn = (id) => (page() ? page().own(id) : world.own.some((g) => g.id === id));
    world.best = (difficulty) => {
        if (page()) return page().best(difficulty);
        let best = null;
        for (const g of world.own) if (g.difficulty === difficulty && (!best || g.score > best.score)) best = g;
        return best ? best.id : "";
    };

    /* The games kept in the folder, oldest first (their names begin with the time they were played). */
    world.look = () => {
        let names = [];
        try {
            names = FS.readdir(world.outbox).filter((n) => n !== "." && n !== ".." &&
                FS.isFile(FS.stat(`${world.outbox}/${n}`).mode)).sort();
        } catch (e) {
            names = [];
        }
        for (const tag of names) {
            const path = `${world.outbox}/${tag}`;
            if (!world.queue.some((item) => item.path === path)) world.queue.push({path, tag});
        }
    };
    world.waiting = () => world.queue.length;

    world.answer = (answer) => {
        world.answers.push(answer);
        world.answers.splice(0, Math.max(0, world.answers.length - kAnswersKept));
    };
    /* A 2xx answer the game can read, else null. */
    world.ranked = (answer, tag) => {
        const body = world.json(answer.bytes);
        if (!body || typeof body !== "object" || !isId(body.id) || !Array.isArray(body.results)) return null;
        const difficulty = count(body.difficulty, 0, 2);
        const entries = count(body.entries, 0, Number.MAX_SAFE_INTEGER);
        const results = body.results.slice(0, 2).map((r) => (r && typeof r === "object" ? {
            name: world.name(r.name), score: count(r.score, -2147483648, 2147483647),
            level: count(r.level, 0, 2147483647) || 0, rank: count(r.rank, 1, Number.MAX_SAFE_INTEGER),
        } : null)).filter((r) => r && r.score !== null && r.rank !== null);
        if (difficulty === null || results.length === 0) return null;
        return {outcome: 0, tag, id: body.id, difficulty, entries: entries || 0, results, reason: ""};
    };

    world.send = async (item) => {
        let bytes;
        try {
            bytes = FS.readFile(item.path);
        } catch (e) {
            return "gone";
        }
        if (bytes.length === 0 || bytes.length > sendMost) {
            world.answer({outcome: 1, tag: item.tag, reason: `the game is ${bytes.length} bytes: no replay is that size`});
            return "answered";
        }
        let answer;
        try {
            world.posts++;
            answer = await world.fetch("api/v1/replays", {method: "POST", body: bytes,
                headers: {"Content-Type": "application/octet-stream"}}, kAnswerBytes, kPostMs);
        } catch (e) {
            console.warn(`voidcrawl: ${item.tag} waits to be sent to the world table: ${e.message}`);
            return "later";
        }
        if (answer.status === 200 || answer.status === 201) {
            const ranked = world.ranked(answer, item.tag);
            if (!ranked) {
                console.warn(`voidcrawl: ${item.tag} waits: the world server answer is not one the game reads`);
                return "later";
            }
            world.answer(ranked);
            const best = Math.max(...ranked.results.map((r) => r.score));
            if (page()) {
                page().sent(ranked.id, ranked.difficulty, best);
            } else if (!world.own.some((g) => g.id === ranked.id)) {
                world.own.push({id: ranked.id, difficulty: ranked.difficulty, score: best});
            }
            return "answered";
        }
        if (answer.status === 408 || answer.status === 429 || answer.status >= 500 || answer.status < 400) {
            const after = Number(answer.headers.get("Retry-After"));
            world.retryAfter = Number.isFinite(after) && after >= 1 ? Math.min(after, 3600) : 0;
            console.warn(`voidcrawl: ${item.tag} waits to be sent to the world table: ${world.words(answer)}`);
            return "later";
        }
        world.answer({outcome: 1, tag: item.tag, reason: world.words(answer)});
        return "answered";
    };

    /* One game at a time, oldest first, while sending is on. */
    world.pump = async () => {
        if (world.busy || !world.sending || !world.where() || world.queue.length === 0) return;
        const now = Date.now();
        if (now < world.retryAt) {
            if (!world.timer) {
                world.timer = setTimeout(() => {
                    world.timer = null;
                    world.pump();
                }, world.retryAt - now);
            }
            return;
        }
        world.busy = true;
        const item = world.queue[0];
        world.retryAfter = 0;
        const how = await world.send(item);
        world.busy = false;
        if (how === "later") {
            world.wait = Math.min(kLongestWait, world.wait > 0 ? world.wait * 2 : kFirstWait);
            world.retryAt = Date.now() + 1000 * (world.retryAfter || world.wait);
        } else {
            world.wait = 0;
            world.retryAt = 0;
            world.queue = world.queue.filter((q) => q !== item);
            if (how === "answered") world.done.push(item.path);
        }
        world.pump();
    };
    if (typeof window === "object") {
        window.addEventListener("online", () => {
            world.retryAt = 0;
            world.pump();
        });
    }

    world.askTable = async (difficulty) => {
        const ask = ++world.table.ask;
        world.table = {state: 1, ask, difficulty};
        let done;
        try {
            if (!world.where()) throw new Error("no world table server is set");
            const top = await world.fetch(`api/v1/scores?difficulty=${difficulty}&limit=10&offset=0`, {}, kAnswerBytes, kGetMs);
            const rows = world.rows(top, 10);
            const total = Number(top.headers.get("X-Total-Count"));
            let around = [];
            const best = world.best(difficulty);
            if (best) {
                const near = await world.fetch(`api/v1/scores/around/${best}?before=2&after=2`, {}, kAnswerBytes, kGetMs);
                if (near.status !== 404) around = world.rows(near, 5);
            }
            const mark = (r) => Object.assign(r, {own: world.isOwn(r.replay)});
            done = {state: 2, ask, difficulty, top: rows.map(mark), around: around.map(mark),
                entries: Number.isSafeInteger(total) && total >= 0 ? total : rows.length};
        } catch (e) {
            done = {state: 3, ask, difficulty, reason: e.message};
        }
        if (world.table.ask === ask) world.table = done;
    };

    world.askReplay = async (id) => {
        const ask = ++world.replay.ask;
        world.replay = {state: 1, ask};
        let done;
        try {
            if (!world.where()) throw new Error("no world table server is set");
            if (!isId(id)) throw new Error("that is not the id of a game on the server");
            const answer = await world.fetch(`api/v1/replays/${id}`, {}, sendMost, kGetMs);
            if (answer.status !== 200) throw new Error(world.words(answer));
            done = {state: 2, ask, bytes: answer.bytes};
        } catch (e) {
            done = {state: 3, ask, reason: e.message};
        }
        if (world.replay.ask === ask) world.replay = done;
    };

    /* A part of a live game feed: its bytes from `from` (the server holds
       the request up to 2 s while nothing new is held). */
    const kFeedMost = 65536;
    const kFeedMs = 10000;
    world.askFeed = async (code, from) => {
        const ask = ++world.feed.ask;
        world.feed = {state: 1, ask};
        let done;
        try {
            if (!world.where()) throw new Error("no world table server is set");
            if (!/^[A-Z]{1,7}$/.test(code)) throw new Error("that is no room code");
            const answer = await world.fetch(`api/v1/live/${code}?from=${from}`, {}, kFeedMost, kFeedMs);
            if (answer.status === 204) {
                done = {state: 2, ask, bytes: new Uint8Array(0), ended: false, held: -1};
            } else if (answer.status === 200) {
                const held = Number(answer.headers.get("X-Feed-Held"));
                done = {state: 2, ask, bytes: answer.bytes, ended: answer.headers.get("X-Feed-Ended") === "1",
                    held: Number.isSafeInteger(held) && held >= 0 ? held : -1};
            } else {
                throw new Error(world.words(answer));
            }
        } catch (e) {
            done = {state: 3, ask, reason: e.message};
        }
        if (world.feed.ask === ask) world.feed = done;
    };
});

EM_JS(void, WebWorldFollow, (const char* server, int sending), {
    const world = Module.vcWorld;
    world.server = UTF8ToString(server);
    const base = world.address(world.server);
    if (base !== world.base) {
        world.retryAt = 0;
        world.wait = 0;
    }
    world.base = base;
    world.sending = sending !== 0;
    if (world.sending) world.look();
    world.pump();
});

EM_JS(int, WebWorldConfigured, (), { return Module.vcWorld.where() ? 1 : 0; });

EM_JS(int, WebWorldWaiting, (), {
    Module.vcWorld.look();
    return Module.vcWorld.waiting();
});

EM_JS(void, WebWorldQueue, (), {
    Module.vcWorld.look();
    Module.vcWorld.pump();
});

/* The next file to let go of (its game answered), into `out`; 0 when none. */
EM_JS(int, WebWorldTakeDone, (char* out, int size), {
    const path = Module.vcWorld.done.shift();
    if (path === undefined) return 0;
    stringToUTF8(path, out, size);
    return 1;
});

EM_JS(int, WebWorldTakeSent, (int* numbers, char* tag, int tagSize, char* id, int idSize, char* reason, int reasonSize,
                              char* names, int nameSize), {
    const world = Module.vcWorld;
    const answer = world.answers.shift();
    if (!answer) return 0;
    /* The last few the game took, for the page tests. */
    world.taken.push(answer);
    world.taken.splice(0, Math.max(0, world.taken.length - 8));
    const put = (at, size, text) => {
        const bytes = Array.from(String(text)).map((c) => (c.codePointAt(0) <= 255 ? c.codePointAt(0) : 63));
        const n = Math.min(bytes.length, size - 1);
        for (let i = 0; i < n; i++) HEAPU8[at + i] = bytes[i];
        HEAPU8[at + n] = 0;
    };
    const int64 = (at, value) => {
        HEAP32[at >> 2] = value % 4294967296;
        HEAP32[(at >> 2) + 1] = Math.floor(value / 4294967296);
    };
    put(tag, tagSize, answer.tag);
    put(reason, reasonSize, answer.reason || "");
    put(id, idSize, answer.id || "");
    const n = numbers >> 2;
    HEAP32[n] = answer.outcome;
    HEAP32[n + 1] = answer.difficulty || 0;
    int64(numbers + 8, answer.entries || 0);
    const results = answer.results || [];
    HEAP32[n + 4] = results.length;
    results.forEach((r, i) => {
        put(names + i * nameSize, nameSize, r.name);
        HEAP32[n + 6 + 4 * i] = r.score;
        HEAP32[n + 7 + 4 * i] = r.level;
        int64(numbers + 32 + 16 * i, r.rank);
    });
    return 1;
});

EM_JS(void, WebWorldAskTable, (int difficulty), { Module.vcWorld.askTable(difficulty); });

/* The table state (0 none, 1 waiting, 2 ready, 3 failed) with its counts, or its reason. */
EM_JS(int, WebWorldTableState, (int* numbers, char* reason, int reasonSize), {
    const table = Module.vcWorld.table;
    const n = numbers >> 2;
    if (table.state === 2) {
        HEAP32[n] = table.difficulty;
        HEAP32[n + 1] = table.top.length;
        HEAP32[n + 2] = table.around.length;
        HEAP32[n + 4] = table.entries % 4294967296;
        HEAP32[n + 5] = Math.floor(table.entries / 4294967296);
    }
    if (table.state === 3) stringToUTF8(table.reason, reason, reasonSize);
    return table.state;
});

/* Row `i` of the top (`around` 0) or of the rows around this player best (1). */
EM_JS(void, WebWorldTableRow, (int around, int i, int* numbers, char* name, int nameSize, char* date, int dateSize,
                               char* replay, int replaySize), {
    const table = Module.vcWorld.table;
    const row = (around ? table.around : table.top)[i];
    const n = numbers >> 2;
    const bytes = Array.from(row.name).map((c) => c.codePointAt(0));
    const cut = Math.min(bytes.length, nameSize - 1);
    for (let k = 0; k < cut; k++) HEAPU8[name + k] = bytes[k];
    HEAPU8[name + cut] = 0;
    HEAP32[n] = row.rank % 4294967296;
    HEAP32[n + 1] = Math.floor(row.rank / 4294967296);
    HEAP32[n + 2] = row.score;
    HEAP32[n + 3] = row.level;
    HEAP32[n + 4] = row.length;
    HEAP32[n + 5] = row.own ? 1 : 0;
    stringToUTF8(row.date, date, dateSize);
    stringToUTF8(row.replay, replay, replaySize);
});

EM_JS(void, WebWorldAskReplay, (const char* id), { Module.vcWorld.askReplay(UTF8ToString(id)); });

/* The replay state (as the table state); ready: its bytes into `buffer` when they fit (else -1). */
EM_JS(int, WebWorldReplayState, (uint8_t* buffer, int capacity, int* size, char* reason, int reasonSize), {
    const replay = Module.vcWorld.replay;
    if (replay.state === 3) stringToUTF8(replay.reason, reason, reasonSize);
    if (replay.state !== 2) return replay.state;
    HEAP32[size >> 2] = replay.bytes.length;
    if (replay.bytes.length > capacity) return -1;
    HEAPU8.set(replay.bytes, buffer);
    return 2;
});
EM_JS(void, WebWorldAskFeed, (const char* code, int from), { Module.vcWorld.askFeed(UTF8ToString(code), from >>> 0); });

/* The feed state (as the table state); ready: its bytes into `buffer` (kWorldFeedMostRead; else -1), size, ended, held. */
EM_JS(int, WebWorldFeedState, (uint8_t* buffer, int capacity, int* numbers, char* reason, int reasonSize), {
    const feed = Module.vcWorld.feed;
    if (feed.state === 3) stringToUTF8(feed.reason, reason, reasonSize);
    if (feed.state !== 2) return feed.state;
    if (feed.bytes.length > capacity) return -1;
    HEAPU8.set(feed.bytes, buffer);
    const n = numbers >> 2;
    HEAP32[n] = feed.bytes.length;
    HEAP32[n + 1] = feed.ended ? 1 : 0;
    HEAP32[n + 2] = feed.held;
    return 2;
});
// clang-format on

WorldAnswer AnswerOf(int state) {
    return state == 1   ? WorldAnswer::Waiting
           : state == 2 ? WorldAnswer::Ready
           : state == 3 ? WorldAnswer::Failed
                        : WorldAnswer::None;
}

// A name the game gave that can name a file of the outbox: letters,
// digits, '-', '_' and '.', not starting with '.'.
bool IsFileName(const char* tag) {
    const size_t length = strnlen(tag, kWorldTagBytes);
    if (length == 0 || length >= static_cast<size_t>(kWorldTagBytes) || tag[0] == '.') return false;
    for (size_t i = 0; i < length; ++i) {
        const char c = tag[i];
        const bool fits = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
                          c == '_' || c == '.';
        if (!fits) return false;
    }
    return true;
}

class WebWorld final : public WorldLink {
public:
    explicit WebWorld(const char* folder) {
        std::snprintf(outbox_, sizeof outbox_, "%s/%s", folder, kOutboxFolder);
        WebWorldOpen(outbox_, kOutboxMost, static_cast<int>(kSendMost));
    }

    void Follow(const char* server, bool sending) override { WebWorldFollow(server != nullptr ? server : "", sending); }

    bool Configured() const override { return WebWorldConfigured() != 0; }

    bool Send(const uint8_t* replay, size_t size, const char* tag, char* reason, size_t reasonSize) override {
        LetGoOfAnswered();
        if (tag == nullptr || !IsFileName(tag)) {
            std::snprintf(reason, reasonSize, "the game's name cannot name a file to keep it in");
            return false;
        }
        if (size == 0 || size > kSendMost) {
            std::snprintf(reason, reasonSize, "the game is %zu bytes: no replay is that size", size);
            return false;
        }
        const int waiting = WebWorldWaiting();
        if (waiting >= kOutboxMost) {
            std::snprintf(reason, reasonSize, "%d games wait to be sent already", waiting);
            return false;
        }
        char path[kMaxUserPath];
        if (std::snprintf(path, sizeof path, "%s/%s", outbox_, tag) >= static_cast<int>(sizeof path)) {
            std::snprintf(reason, reasonSize, "the player's folder is too deep to keep the game in");
            return false;
        }
        SaveResult saved;
        if (!SaveBytes(path, replay, size, &saved)) {
            std::snprintf(reason, reasonSize, "%s", saved.reason);
            return false;
        }
        WebWorldQueue();
        return true;
    }

    bool TakeSent(WorldSent* sent) override {
        LetGoOfAnswered();
        // outcome, difficulty, entries (2 words), count, a spare word, then
        // per result score, level and rank (2 words).
        alignas(8) int32_t numbers[8 + 4 * kWorldResultsMax] = {};
        char names[kWorldResultsMax][kWorldNameBytes] = {};
        WorldSent next;
        if (WebWorldTakeSent(numbers, next.tag, kWorldTagBytes, next.id, kWorldIdBytes, next.reason, kWorldReasonBytes,
                             names[0], kWorldNameBytes) == 0)
            return false;
        next.outcome = numbers[0] == 0 ? WorldSent::Outcome::Ranked : WorldSent::Outcome::Refused;
        next.difficulty = numbers[1];
        std::memcpy(&next.entries, &numbers[2], sizeof next.entries);
        next.count = numbers[4] < 0 ? 0 : numbers[4] > kWorldResultsMax ? kWorldResultsMax : numbers[4];
        for (int i = 0; i < next.count; ++i) {
            WorldSent::Result& result = next.results[i];
            std::memcpy(result.name, names[i], sizeof result.name);
            result.name[kWorldNameBytes - 1] = '\0';
            result.score = numbers[6 + 4 * i];
            result.level = numbers[7 + 4 * i];
            std::memcpy(&result.rank, &numbers[8 + 4 * i], sizeof result.rank);
        }
        *sent = next;
        return true;
    }

    void AskTable(int32_t difficulty) override {
        WebWorldAskTable(difficulty < 0 ? 0 : difficulty > 2 ? 2 : difficulty);
    }

    WorldAnswer Table(WorldTable* table, char* reason, size_t reasonSize) override {
        // difficulty, top rows, rows around, a spare word, entries (2 words).
        alignas(8) int32_t numbers[6] = {};
        char why[kWorldReasonBytes] = "";
        const WorldAnswer answer = AnswerOf(WebWorldTableState(numbers, why, sizeof why));
        if (answer == WorldAnswer::Failed) std::snprintf(reason, reasonSize, "%s", why);
        if (answer != WorldAnswer::Ready) return answer;
        table->difficulty = numbers[0];
        std::memcpy(&table->entries, &numbers[4], sizeof table->entries);
        table->topCount = numbers[1] < 0 ? 0 : numbers[1] > kWorldTopRows ? kWorldTopRows : numbers[1];
        table->aroundCount = numbers[2] < 0 ? 0 : numbers[2] > kWorldAroundRows ? kWorldAroundRows : numbers[2];
        for (int i = 0; i < table->topCount; ++i) ReadRow(0, i, &table->top[i]);
        for (int i = 0; i < table->aroundCount; ++i) ReadRow(1, i, &table->around[i]);
        return answer;
    }

    void AskReplay(const char* id) override { WebWorldAskReplay(id != nullptr ? id : ""); }

    WorldAnswer Replay(uint8_t* buffer, size_t capacity, size_t* size, char* reason, size_t reasonSize) override {
        int32_t got = 0;
        char why[kWorldReasonBytes] = "";
        const int room = capacity > 0x7fffffff ? 0x7fffffff : static_cast<int>(capacity);
        const int state = WebWorldReplayState(buffer, room, &got, why, sizeof why);
        if (state < 0) {
            std::snprintf(reason, reasonSize, "the replay is larger than the game takes (%d bytes; at most %d)",
                          static_cast<int>(got), room);
            return WorldAnswer::Failed;
        }
        const WorldAnswer answer = AnswerOf(state);
        if (answer == WorldAnswer::Failed) std::snprintf(reason, reasonSize, "%s", why);
        if (answer == WorldAnswer::Ready) *size = static_cast<size_t>(got);
        return answer;
    }

    void AskFeed(const char* code, uint32_t from) override {
        WebWorldAskFeed(code != nullptr ? code : "", static_cast<int>(from));
    }

    WorldAnswer Feed(uint8_t* buffer, WorldFeedPart* part, char* reason, size_t reasonSize) override {
        // size, ended, held (-1: not said)
        int32_t numbers[3] = {};
        char why[kWorldReasonBytes] = "";
        const int state = WebWorldFeedState(buffer, static_cast<int>(kWorldFeedMostRead), numbers, why, sizeof why);
        if (state < 0) {
            std::snprintf(reason, reasonSize, "the server sent more of the game than was asked for");
            return WorldAnswer::Failed;
        }
        const WorldAnswer answer = AnswerOf(state);
        if (answer == WorldAnswer::Failed) std::snprintf(reason, reasonSize, "%s", why);
        if (answer == WorldAnswer::Ready) {
            part->size = numbers[0] < 0 ? 0 : static_cast<size_t>(numbers[0]);
            part->ended = numbers[1] != 0;
            part->held = numbers[2];
        }
        return answer;
    }

    // The games the server answered for leave the folder (and the
    // browser's storage); only files of the outbox are deleted.
    void LetGoOfAnswered() {
        char path[kMaxUserPath];
        const size_t prefix = std::strlen(outbox_);
        while (WebWorldTakeDone(path, sizeof path) != 0) {
            if (std::strncmp(path, outbox_, prefix) != 0 || path[prefix] != '/' ||
                std::strchr(path + prefix + 1, '/') != nullptr)
                continue;
            DeletePlayerFile(path);
        }
    }

private:
    static void ReadRow(int around, int i, WorldRow* row) {
        // rank (2 words), score, level, length, own.
        alignas(8) int32_t numbers[6] = {};
        WebWorldTableRow(around, i, numbers, row->name, kWorldNameBytes, row->date, kWorldDateBytes, row->replay,
                         kWorldIdBytes);
        std::memcpy(&row->rank, &numbers[0], sizeof row->rank);
        row->score = numbers[2];
        row->level = numbers[3];
        row->length = numbers[4];
        row->own = numbers[5] != 0;
    }

    char outbox_[kMaxUserPath] = {};
};

}  // namespace

WorldLink* CreateWebWorld(const char* folder) { return new WebWorld(folder); }

void TendWebWorld(WorldLink* link) { static_cast<WebWorld*>(link)->LetGoOfAnswered(); }
