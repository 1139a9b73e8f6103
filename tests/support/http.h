#pragma once

#include <string>
#include <vector>

// A plain HTTP client (libsoup's) for tests of the program's remote page.
struct HttpReply {
    int status = 0;  // 0 when no answer came
    std::string type, body;
};
// `headers`: "Name: value" each. Gives up after 10 s.
HttpReply http(const std::string& method, const std::string& url, const std::string& body = "",
               const std::vector<std::string>& headers = {});

// A TCP port on 127.0.0.1 that was free a moment ago.
int free_tcp_port();

// A JPEG's size and pixels (8-bit RGB, rows top first); false when it is not one.
bool decode_jpeg(const std::string& bytes, int* width, int* height, std::vector<unsigned char>* rgb);
