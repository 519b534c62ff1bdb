#include "hosts/web/WebStore.h"

#include <emscripten.h>

#include <cstdio>

#include "platform/SaveFile.h"
#include "platform/UserDir.h"

namespace {

// The bodies of EM_JS are JavaScript, which the C++ formatter would break.
// clang-format off
// Module.vcStore: the folder and the storage it is kept in. The records are
// those earlier builds wrote through emscripten's IDBFS (a database named
// after the folder, one record per file under its full path), so tables kept
// by them are read as they are.
//
// Returns 1 when the kept files are in the folder, 0 when the storage could
// not be read (saves then fail with the reason), -1 when the browser has no
// storage at all.
EM_ASYNC_JS(int, WebStoreOpen, (const char* dir), {
    const folder = UTF8ToString(dir);
    const store = Module.vcStore = {folder, db: null, error: "", writes: 0, failures: 0, unlock: null};
    let idb = null;
    try {
        idb = typeof indexedDB === 'object' ? indexedDB : null;
    } catch (e) {
        idb = null;
    }
    if (!idb) {
        store.error = 'this browser gives the page no storage';
        return -1;
    }
    const kWaitMs = 5000;
    const kFiles = 'FILE_DATA';
    store.why = (e) => {
        if (e && e.name === 'QuotaExceededError') return 'the browser storage of this site is full';
        if (e && e.name === 'SecurityError') return 'the browser does not let this page keep anything';
        const text = e && e.message ? e.message : String(e || 'no answer');
        return `the browser storage refused it: ${e && e.name && e.name !== 'Error' ? e.name + ': ' : ""}${text}`;
    };
    store.timed = (promise, what) => Promise.race([promise, new Promise((resolve, reject) => {
        setTimeout(() => reject(new Error(`${what} did not finish in ${kWaitMs / 1000} s`)), kWaitMs);
    })]);
    store.database = () => store.db ? Promise.resolve(store.db) : store.timed(new Promise((resolve, reject) => {
        const request = idb.open(folder, 21);
        request.onupgradeneeded = () => {
            const files = request.result.objectStoreNames.contains(kFiles)
                ? request.transaction.objectStore(kFiles) : request.result.createObjectStore(kFiles);
            if (!files.indexNames.contains('timestamp')) files.createIndex('timestamp', 'timestamp', {unique: false});
        };
        request.onsuccess = () => {
            store.db = request.result;
            store.db.onclose = () => { store.db = null; };
            resolve(store.db);
        };
        request.onerror = (event) => {
            event.preventDefault();
            reject(request.error);
        };
    }), 'opening the storage');
    store.transaction = (mode, work) => store.database().then((db) => store.timed(new Promise((resolve, reject) => {
        const transaction = db.transaction([kFiles], mode);
        const result = work(transaction.objectStore(kFiles));
        transaction.oncomplete = () => resolve(result);
        transaction.onabort = () => reject(transaction.error || new Error('the transaction was cut short'));
    }), mode === 'readonly' ? 'reading the storage' : 'writing to the storage'));
    // The kept files go into the folder, and those of its sub-folders (the
    // replays) that are no longer kept (another tab pruned them) leave it.
    store.load = async () => {
        const found = await store.transaction('readonly', (files) => {
            const records = [];
            files.openCursor().onsuccess = (event) => {
                const cursor = event.target.result;
                if (!cursor) return;
                records.push([cursor.key, cursor.value]);
                cursor.continue();
            };
            return records;
        });
        const kept = new Set();
        for (const entry of found) {
            const path = entry[0];
            const record = entry[1];
            const parts = path.startsWith(folder + '/') ? path.slice(folder.length + 1).split('/') : [];
            if (parts.length < 1 || parts.length > 2 || parts.some((part) => !part || part === '.' || part === '..') ||
                !record || !record.contents) continue;
            if (parts.length === 2) FS.mkdirTree(`${folder}/${parts[0]}`);
            FS.writeFile(path, record.contents);
            if (record.timestamp) FS.utime(path, record.timestamp.getTime(), record.timestamp.getTime());
            kept.add(path);
        }
        for (const sub of FS.readdir(folder)) {
            const inner = `${folder}/${sub}`;
            if (sub === '.' || sub === '..' || !FS.isDir(FS.stat(inner).mode)) continue;
            for (const name of FS.readdir(inner)) {
                const path = `${inner}/${name}`;
                if (FS.isFile(FS.stat(path).mode) && !kept.has(path)) FS.unlink(path);
            }
        }
    };
    store.keep = async (path) => {
        const info = FS.stat(path);
        const record = {timestamp: info.mtime, mode: info.mode, contents: FS.readFile(path)};
        await store.transaction('readwrite', (files) => { files.put(record, path); });
    };
    if (Module.vcPage) Module.vcPage.storeOpened(folder);
    try {
        await store.load();
        return 1;
    } catch (e) {
        store.error = store.why(e);
        return 0;
    }
});

EM_JS(int, WebStoreError, (char* out, int size), {
    const error = Module.vcStore ? Module.vcStore.error : "";
    stringToUTF8(error, out, size);
    return error ? 1 : 0;
});

// Said once a page, however many times the game is started on it.
EM_JS(void, WebStoreSayNone, (), {
    const page = Module.vcPage;
    if (!page) return;
    page.storageFailed(Module.vcStore.error);
    if (page.noStorageSaid) return;
    page.noStorageSaid = true;
    page.showMessage('VoidCrawl', 'This browser gives the page no storage: you can play, but high scores last only ' +
                     'until the page is closed.');
});

// Every tab of the site takes its turn (the Web Locks API, where the
// browser has it; a lock not had within 3 s is gone without, as on the
// desktop), then reads what the others kept.
EM_ASYNC_JS(void, WebStoreLock, (), {
    const store = Module.vcStore;
    if (typeof navigator === 'object' && navigator.locks) {
        await new Promise((resolve) => {
            let late = false;
            const timer = setTimeout(() => { late = true; resolve(); }, 3000);
            navigator.locks.request('voidcrawl-saves', () => {
                if (late) return null;
                clearTimeout(timer);
                resolve();
                return new Promise((release) => { store.unlock = release; });
            }).catch(() => resolve());
        });
    }
    try {
        await store.load();
        store.error = "";
    } catch (e) {
        store.error = store.why(e);
        console.warn(`voidcrawl: cannot read the kept high scores (${store.error})`);
    }
});

EM_JS(void, WebStoreUnlock, (), {
    const store = Module.vcStore;
    if (store && store.unlock) {
        store.unlock();
        store.unlock = null;
    }
});

// 1 when the file is kept; 0 with the reason in `out`.
EM_ASYNC_JS(int, WebStoreKeep, (const char* file, char* out, int size), {
    const store = Module.vcStore;
    const path = UTF8ToString(file);
    let error = "";
    try {
        await store.keep(path);
    } catch (e) {
        error = store.why(e);
    }
    if (Module.vcPage) {
        if (error) Module.vcPage.storageFailed(error);
        else Module.vcPage.storageKept();
        Module.vcPage.storageChanged();
    }
    if (!error) {
        store.writes++;
        return 1;
    }
    store.failures++;
    stringToUTF8(`cannot keep ${path.slice(path.lastIndexOf('/') + 1)} in this browser: ${error}`, out, size);
    return 0;
});

// The file at `file` was deleted: so is its record (a failure is only
// logged: the next prune deletes it again).
EM_JS(void, WebStoreForget, (const char* file), {
    const store = Module.vcStore;
    const path = UTF8ToString(file);
    store.transaction('readwrite', (files) => { files.delete(path); }).then(() => {
        if (Module.vcPage) Module.vcPage.storageChanged();
    }, (e) => console.warn(`voidcrawl: cannot forget ${path} in the browser storage (${store.why(e)})`));
});

EM_JS(void, WebStoreClose, (), {
    const store = Module.vcStore;
    if (store && store.db) store.db.close();
});
// clang-format on

void Lock(const char*) { WebStoreLock(); }
void Unlock() { WebStoreUnlock(); }
bool Keep(const char* path, char* reason, int reasonSize) { return WebStoreKeep(path, reason, reasonSize) != 0; }
void Forget(const char* path) { WebStoreForget(path); }

const SaveMirror kMirror = {&Lock, &Unlock, &Keep, &Forget};

}  // namespace

bool OpenWebStore(const char* dir) {
    char reason[256] = "";
    if (!MakeFolders(dir, reason, sizeof reason)) {
        std::fprintf(stderr, "voidcrawl: %s\n", reason);
        return false;
    }
    const int opened = WebStoreOpen(dir);
    if (opened < 0) {
        // Nothing to keep the folder in: the game plays on with a folder
        // that lasts as long as the page.
        WebStoreError(reason, sizeof reason);
        std::fprintf(stderr, "voidcrawl: %s; high scores last this visit\n", reason);
        WebStoreSayNone();
        return false;
    }
    // Even storage that could not be read gets every save, so that each
    // failed save is said, with its reason, where the player looks.
    SetSaveMirror(&kMirror);
    if (opened == 0) {
        WebStoreError(reason, sizeof reason);
        std::fprintf(stderr, "voidcrawl: cannot read the kept high scores (%s)\n", reason);
        return false;
    }
    return true;
}

void CloseWebStore() {
    SetSaveMirror(nullptr);
    WebStoreClose();
}
