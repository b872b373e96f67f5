/* Checks.h — a small check harness for the programs that run under Wine, where GoogleTest is not built:
   checks grouped under a name, one line per failed check with what was expected and what came, and a
   closing "N passed, M failed" line. A group that throws counts one failure and the next group runs. */
#pragma once

#include <cstdint>
#include <cstdio>
#include <exception>
#include <sstream>
#include <string>
#include <type_traits>

class Checks {
public:
    /* Runs `body(*this)` as one group of checks. */
    template <typename Body>
    void group(const char* name, Body body)
    {
        group_ = name;
        const int failedBefore = failed_;
        try {
            body(*this);
        } catch (const std::exception& e) {
            fail("the group ran to its end", std::string("it threw: ") + e.what());
        } catch (...) {
            fail("the group ran to its end", "it threw something that is not a std::exception");
        }
        std::printf("%s %s\n", failed_ == failedBefore ? "[ ok ]" : "[FAIL]", name);
        std::fflush(stdout);
    }

    bool that(bool ok, const std::string& what, const std::string& detail = std::string())
    {
        if (ok) {
            ++passed_;
        } else {
            fail(what, detail);
        }
        return ok;
    }

    template <typename A, typename B>
    bool equal(const A& actual, const B& expected, const std::string& what)
    {
        if (actual == expected) {
            ++passed_;
            return true;
        }
        std::ostringstream detail;
        detail << "expected " << show(expected) << ", got " << show(actual);
        fail(what, detail.str());
        return false;
    }

    /* Like equal(), showing both numbers in hexadecimal. */
    bool equalHex(std::uint64_t actual, std::uint64_t expected, const std::string& what)
    {
        if (actual == expected) {
            ++passed_;
            return true;
        }
        std::ostringstream detail;
        detail << std::hex << "expected 0x" << expected << ", got 0x" << actual;
        fail(what, detail.str());
        return false;
    }

    /* Prints the totals; the process's exit status. */
    int finish() const
    {
        std::printf("%d passed, %d failed\n", passed_, failed_);
        return failed_ == 0 && passed_ > 0 ? 0 : 1;
    }

private:
    void fail(const std::string& what, const std::string& detail)
    {
        ++failed_;
        std::printf("FAILED in %s: %s%s%s\n", group_.c_str(), what.c_str(), detail.empty() ? "" : ": ",
                    detail.c_str());
    }

    template <typename T>
    static std::string show(const T& value)
    {
        std::ostringstream out;
        if constexpr (std::is_integral_v<T> && sizeof(T) == 1) {
            out << static_cast<int>(value); /* a number, not a character */
        } else {
            out << value;
        }
        return out.str();
    }
    static std::string show(const std::string& value) { return "\"" + value + "\""; }
    static std::string show(const char* value) { return "\"" + std::string(value) + "\""; }

    std::string group_;
    int passed_ = 0;
    int failed_ = 0;
};
