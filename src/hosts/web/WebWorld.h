#pragma once

class WorldLink;

// The browser's link to the world table (docs/server.md): the page's fetch
// does the network work between the game's passes, so no call here waits
// for the server. The server is the settings' [world] server when one is
// set, else the page's own server when the page says it is served by a
// world server (web/voidcrawl-page.js, "the world table"); with neither,
// the link is not configured.
//
// A game handed to Send is first kept in the player's folder, under
// world-outbox/ (so in the browser's storage, through the save helper),
// then sent; it leaves the folder once the server has answered for it
// (ranked or refused). One the server could not take (no answer, 429, 5xx)
// waits and is sent again later: after the server's Retry-After or a wait
// that doubles from 15 s to 15 minutes, when the browser comes back online,
// and at the next visit. With sending off the kept games wait unsent.
//
// Every answer is read defensively, as from a stranger: bounded in size and
// time, each field checked for its type and range, names cut to what the
// tables hold (Latin-1 bytes, as the game's tables keep names).
// The ids of the games ranked go to the page, which marks them as this
// browser's in its World panel and the game's table marks them too.
//
// `folder` is the player's folder. Never null; owned by the caller.
WorldLink* CreateWebWorld(const char* folder);

// Between two passes (the entry point's hooks): the games the server has
// answered for leave the folder, whether or not the game has looked at the
// answers yet. `link` is CreateWebWorld's.
void TendWebWorld(WorldLink* link);
