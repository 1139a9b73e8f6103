#pragma once

#include <string>

// Debian's Chromium, headless, driven through its DevTools protocol over a
// pipe: it opens a page as a phone held upright shows it and taps it as a
// finger does, so the browser's own layout, hit testing and events judge
// the page. It dies with the test.
class Browser {
public:
    Browser();  // ok() false, with a line saying why, when it cannot start
    ~Browser();
    Browser(const Browser&) = delete;
    Browser& operator=(const Browser&) = delete;
    bool ok() const { return pid_ > 0; }

    // Opens url on a 390 x 844 touch screen; true once the page has loaded.
    bool open(const std::string& url);
    // The value of a JavaScript expression (a promise's once it settles), as String() gives it; "" (with a
    // line) when it cannot be had.
    std::string eval(const std::string& expression);
    // Taps the middle of the first button or label whose text is `label`,
    // or the point `fraction` of its width from its left edge.
    bool tap(const std::string& label, double fraction = 0.5);

private:
    // Sends one command (to the page once one is open) and waits for its
    // answer, giving up after 10 s without a word: the result's JSON, "" on failure.
    std::string call(const std::string& method, const std::string& params);

    int pid_ = -1;
    int to_ = -1, from_ = -1;
    int next_id_ = 1;
    std::string session_, pending_, profile_;
};

// JSON text as a JSON string holds it, quotes included.
std::string json_quote(const std::string& text);
