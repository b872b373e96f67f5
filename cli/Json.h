/* Json.h — a small JSON writer: objects, arrays, strings (escaped per RFC 8259), integers, numbers and
   booleans, indented two spaces. The caller keeps the nesting balanced. */
#pragma once

#include <string>
#include <vector>

namespace cfcli {

/* The JSON string literal of `text`, quotes included. Bytes of 0x80 and above pass through unchanged
   (UTF-8 stays UTF-8). */
std::string jsonString(const std::string& text);

/* The shortest decimal text that reads back as exactly `v` (as a float, or as a double). */
std::string shortestText(float v);
std::string shortestText(double v);

class JsonWriter {
public:
    JsonWriter& beginObject();
    JsonWriter& endObject();
    JsonWriter& beginArray();
    JsonWriter& endArray();
    JsonWriter& key(const std::string& name);
    JsonWriter& value(const std::string& text);
    JsonWriter& value(const char* text) { return value(std::string(text)); }
    JsonWriter& value(long long number);
    JsonWriter& value(double number);
    JsonWriter& value(float number); /* written as the shortest text that reads back as this float */
    JsonWriter& value(bool flag);

    const std::string& text() const noexcept { return out_; }

private:
    void beforeValue();
    void newline();

    std::string out_;
    std::vector<bool> hasItems_; /* per open container */
    bool afterKey_ = false;
};

} // namespace cfcli
