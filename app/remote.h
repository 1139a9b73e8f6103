#pragma once

#include "app/remote_request.h"

#include <string>
#include <vector>

// The show's remote: a page for any browser, served by the program itself.
// A thread of its own runs the server (libsoup, in a main context of its
// own) and only queues actions; the main loop takes them at the start of a
// frame, hands over where the show stands, and reads a frame back for the
// page's picture at most once a second, and only while a page asks for one.
// The picture is encoded on the server's thread.

// Binds host:port and starts the thread; false with the reason in *error.
bool remote_start(const std::string& host, int port, const std::string& key, std::string* error);
void remote_stop();

// While the server runs, from the main loop:
// the actions received since the last call, in the order they came.
std::vector<Action> remote_take();
// Where the show stands, once a frame: the pages hear of a change at once.
void remote_publish(const RemoteState& state);
// After a frame is drawn, before the swap.
void remote_frame_drawn();

// The page's picture from a frame as glReadPixels gives it (rows bottom
// first, 8-bit RGB, no padding): a JPEG 320 px wide, top row first.
bool remote_preview_jpeg(const unsigned char* rgb, int width, int height, std::string* jpeg);

// A key from the system's random source: 24 hexadecimal digits; "" when
// the source fails.
std::string remote_random_key();
// The page's address with its key. Listening on 0.0.0.0 it names the
// machine's address on its network.
std::string remote_page_url(const std::string& host, int port, const std::string& key);
// The address as a QR code for a terminal: two rows of modules a line, in
// explicit black and white so that it reads on dark and light terminals.
std::string remote_qr_text(const std::string& url);
