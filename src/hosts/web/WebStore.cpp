#include "hosts/web/WebStore.h"

#include <emscripten.h>

#include <cstdio>

#include "platform/UserDir.h"

namespace {

// The bodies of EM_JS are JavaScript, which the C++ formatter would break.
// clang-format off
// Module.vcStore: the folder, whether the browser's copy has been read, the
// folder's last change seen, and a write under way or wanted.
EM_JS(int, WebStoreMount, (const char* dir), {
    const path = UTF8ToString(dir);
    const store = Module.vcStore = {path: path, ready: false, seen: 0, busy: false, wanted: false, writes: 0, error: ""};
    try {
        FS.mount(IDBFS, {}, path);
    } catch (e) {
        store.error = String(e);
        store.ready = true;
        return 0;
    }
    FS.syncfs(true, error => {
        if (error) store.error = String(error);
        store.seen = FS.stat(path).mtime.getTime();
        store.ready = true;
    });
    return 1;
});

EM_JS(int, WebStoreReady, (), {
    return Module.vcStore && Module.vcStore.ready ? 1 : 0;
});

EM_JS(int, WebStoreError, (char* out, int size), {
    const error = Module.vcStore ? Module.vcStore.error : "";
    stringToUTF8(error, out, size);
    return error ? 1 : 0;
});

// A save creates the table's new file and renames it over the old one, so
// the folder's own time changes with every save. Writes do not overlap: a
// change seen during one is written by the next.
EM_JS(void, WebStoreKeep, (), {
    const store = Module.vcStore;
    if (!store || !store.ready || store.error) return;
    const changed = FS.stat(store.path).mtime.getTime();
    if (changed !== store.seen) {
        store.seen = changed;
        store.wanted = true;
    }
    if (!store.wanted || store.busy) return;
    store.wanted = false;
    store.busy = true;
    FS.syncfs(false, error => {
        store.busy = false;
        store.writes++;
        if (error) console.warn('voidcrawl: cannot keep the high scores in the browser: ' + error);
    });
});

EM_JS(int, WebStoreBusy, (), {
    const store = Module.vcStore;
    return store && (store.busy || store.wanted) ? 1 : 0;
});
// clang-format on

bool mounted = false;

}  // namespace

bool OpenWebStore(const char* dir) {
    char reason[256] = "";
    if (!MakeFolders(dir, reason, sizeof reason)) {
        std::fprintf(stderr, "voidcrawl: %s\n", reason);
        return false;
    }
    if (WebStoreMount(dir) == 0) {
        WebStoreError(reason, sizeof reason);
        std::fprintf(stderr, "voidcrawl: the browser keeps no files (%s); high scores last this visit\n", reason);
        return false;
    }
    while (WebStoreReady() == 0) emscripten_sleep(5);
    if (WebStoreError(reason, sizeof reason) != 0) {
        std::fprintf(stderr, "voidcrawl: cannot read the kept high scores (%s)\n", reason);
        return false;
    }
    mounted = true;
    return true;
}

void KeepWebStore() {
    if (mounted) WebStoreKeep();
}

void CloseWebStore() {
    if (!mounted) return;
    WebStoreKeep();
    while (WebStoreBusy() != 0) {
        emscripten_sleep(5);
        WebStoreKeep();
    }
}
