// Test-side interface of the fake client library (built as libfbclient.so.2). A test links
// against the fake, so the access layer's dlopen of "libfbclient.so.2" finds this already
// loaded library; the test scripts the answers, runs the code under test, then reads the calls.
//
// Every call of a client entry point is recorded with its arguments (numbers, and the bytes of
// blocks, names and item lists). Answers come from a FIFO per function name; a function with
// no scripted answer succeeds (status 1, 0, 0) and, when it has an output buffer, writes the
// single byte isc_info_end (1) there.
#pragma once

#include <ibase.h>

#include <chrono>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

namespace fakeclient {

// One word of a scripted status vector: a number, or a text. A text after type word 3
// (isc_arg_cstring) becomes its length and address; after any other type word its address.
struct StatusWord {
    StatusWord(ISC_STATUS number) : value(number) {}
    StatusWord(int number) : value(number) {}
    StatusWord(long long number) : value(static_cast<ISC_STATUS>(number)) {}
    StatusWord(const char* string) : isText(true), text(string) {}
    StatusWord(std::string string) : isText(true), text(std::move(string)) {}
    bool isText = false;
    ISC_STATUS value = 0;
    std::string text;
};

// The answer of one call.
struct Reply {
    // Written to the caller's status vector; empty means success (1, 0, 0).
    std::vector<StatusWord> status;
    // The return value; by default word 1 of status (0 on success).
    std::optional<ISC_STATUS> result;
    // Bytes written to the call's output buffer (info reply, service output), at most its
    // length; for isc_sqlcode the result alone counts.
    std::string output;
    // Handle value a successful attach hands out (by default 100, 101, ...).
    std::optional<unsigned> handle;
};

// A failure answer: status vector 1, code, then the given argument clusters, then 0.
Reply Failure(ISC_STATUS code, std::vector<StatusWord> arguments = {});
// A success answer whose output buffer receives bytes.
Reply Output(std::string bytes);
// A successful attach that hands out this handle value.
Reply Handle(unsigned handle);

struct Arg {
    std::string name;
    int64_t number = 0;
    std::string bytes;
    bool isNull = false;
};

struct Call {
    std::string function;
    std::vector<Arg> args;
    const Arg& Get(const std::string& name) const;  // throws std::out_of_range when absent
    int64_t Number(const std::string& name) const { return Get(name).number; }
    const std::string& Bytes(const std::string& name) const { return Get(name).bytes; }
};

// Forgets calls, queued answers, messages and SQL codes.
void Reset();
// Queues the answer of the next call of function.
void Push(const std::string& function, Reply reply);
// Answers still queued for function (a test can check that all were consumed).
std::size_t Pending(const std::string& function);
// Every call since Reset, in order.
std::vector<Call> Calls();
// The calls of one function, in order.
std::vector<Call> CallsTo(const std::string& function);
// The names of every call since Reset, in order, leaving out the listed ones.
std::vector<std::string> CallNames(std::initializer_list<std::string> except = {});
// isc_interprete's text for a type-1 code; "@1", "@2", ... take the code's arguments.
// Without one the text is "fake error <code>".
void SetMessage(ISC_STATUS code, std::string text);
// isc_sqlcode's answer when code is the first type-1 code of a vector with an answer.
// Without one: 0 for a success vector, else -999.
void SetSqlCode(ISC_STATUS code, ISC_LONG sqlCode);

// ---- calls held inside the fake ----------------------------------------------------------
// After `letThrough` more calls of `function`, the next one waits inside the fake (already
// recorded, not yet answered) until the test releases it; then it answers from its script as any
// call does, a failure included. A held call runs on whatever thread made it, so the test can
// act meanwhile. One hold per function at a time; Reset forgets holds not yet taken.
void HoldNext(const std::string& function, int letThrough = 0);
// Whether a call is held now.
bool Holding();
// Waits until a call is held; false when none came within the limit.
bool WaitUntilHolding(std::chrono::milliseconds limit);
// Lets the held call go on.
void Release();

// Bytes written as numbers, for readable expectations: Bytes({0x01, 0x1C, 0x06}).
inline std::string Bytes(std::initializer_list<int> values)
{
    std::string bytes;
    for (int v : values)
        bytes += static_cast<char>(static_cast<unsigned char>(v));
    return bytes;
}

}  // namespace fakeclient
