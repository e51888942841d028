// The scripted entry points of the fake client library, with the client's own prototypes from
// ibase.h (so a wrong signature does not compile), and the test-side API of FakeClient.h.
#include "FakeClient.h"

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <stdexcept>

#ifndef FAKE_CLIENT_MAJOR
#define FAKE_CLIENT_MAJOR 3
#endif
#ifndef FAKE_CLIENT_MINOR
#define FAKE_CLIENT_MINOR 0
#endif
#define FAKE_CLIENT_TEXT(x) #x
#define FAKE_CLIENT_VERSION_TEXT(major, minor) FAKE_CLIENT_TEXT(major) "." FAKE_CLIENT_TEXT(minor)

namespace fakeclient {

namespace {

struct TState {
    std::mutex lock;
    std::vector<Call> calls;
    std::map<std::string, std::deque<Reply>> replies;
    std::map<ISC_STATUS, std::string> messages;
    std::map<ISC_STATUS, ISC_LONG> sqlCodes;
    // Texts that scripted status vectors point to. Kept for the whole process: a caller may
    // read its status vector long after the test has reset the script.
    std::deque<std::string> texts;
    unsigned nextHandle = 100;
};

TState& State()
{
    static TState state;
    return state;
}

Arg Number(std::string name, int64_t value)
{
    Arg arg;
    arg.name = std::move(name);
    arg.number = value;
    return arg;
}

Arg Block(std::string name, const void* data, std::size_t length)
{
    Arg arg;
    arg.name = std::move(name);
    arg.isNull = data == nullptr;
    arg.number = static_cast<int64_t>(length);
    if (data != nullptr)
        arg.bytes.assign(static_cast<const char*>(data), length);
    return arg;
}

Arg Pointer(std::string name, const void* pointer)
{
    Arg arg;
    arg.name = std::move(name);
    arg.isNull = pointer == nullptr;
    arg.number = static_cast<int64_t>(reinterpret_cast<intptr_t>(pointer));
    return arg;
}

void Record(std::string function, std::vector<Arg> args)
{
    std::lock_guard guard(State().lock);
    State().calls.push_back(Call{std::move(function), std::move(args)});
}

std::optional<Reply> NextReply(const std::string& function)
{
    std::lock_guard guard(State().lock);
    auto found = State().replies.find(function);
    if (found == State().replies.end() || found->second.empty())
        return std::nullopt;
    Reply reply = std::move(found->second.front());
    found->second.pop_front();
    return reply;
}

const char* KeepText(const std::string& text)
{
    std::lock_guard guard(State().lock);
    return State().texts.emplace_back(text).c_str();
}

// Writes the reply's status words into the caller's vector; answers the call's result.
ISC_STATUS WriteStatus(ISC_STATUS* status, const Reply& reply)
{
    ISC_STATUS words[ISC_STATUS_LENGTH] = {isc_arg_gds, 0, isc_arg_end};
    std::size_t count = 0;
    ISC_STATUS previousType = 0;
    for (const StatusWord& word : reply.status) {
        if (count + 2 >= ISC_STATUS_LENGTH)
            break;
        if (!word.isText) {
            words[count++] = word.value;
            previousType = word.value;
            continue;
        }
        const char* text = KeepText(word.text);
        if (previousType == isc_arg_cstring)
            words[count++] = static_cast<ISC_STATUS>(word.text.size());
        words[count++] = reinterpret_cast<ISC_STATUS>(text);
    }
    if (count > 0)
        words[count] = isc_arg_end;
    if (status != nullptr)
        std::memcpy(status, words, sizeof words);
    if (reply.result)
        return *reply.result;
    return words[0] == isc_arg_gds ? words[1] : 0;
}

void WriteOutput(const Reply& reply, bool scripted, ISC_SCHAR* buffer, std::size_t length)
{
    if (buffer == nullptr || length == 0)
        return;
    const std::string bytes = scripted ? reply.output : std::string(1, static_cast<char>(isc_info_end));
    std::memcpy(buffer, bytes.data(), std::min(bytes.size(), length));
}

struct Answer {
    Reply reply;
    bool scripted;
};

// ---- calls held inside the fake ----------------------------------------------------------
// Kept apart from the script: a held call waits here, outside the script's lock, until the test
// releases it, as the server holds a service start until the action has ended.

struct THolds {
    std::mutex lock;
    std::condition_variable changed;
    std::map<std::string, int> asked;  // function: calls still let through before one is held
    int held = 0;                      // calls waiting now
    int released = 0;                  // releases not yet taken by a held call
};

THolds& Holds()
{
    static THolds holds;
    return holds;
}

// Only a guard against a test that forgets to release: the call then answers anyway.
constexpr auto kHoldGuard = std::chrono::seconds(60);

void HoldIfAsked(const std::string& function)
{
    THolds& holds = Holds();
    std::unique_lock guard(holds.lock);
    const auto found = holds.asked.find(function);
    if (found == holds.asked.end())
        return;
    if (found->second > 0) {
        --found->second;
        return;
    }
    holds.asked.erase(found);
    ++holds.held;
    holds.changed.notify_all();
    holds.changed.wait_for(guard, kHoldGuard, [&] { return holds.released > 0; });
    if (holds.released > 0)
        --holds.released;
    --holds.held;
    holds.changed.notify_all();
}

// ---- the script ----------------------------------------------------------------------------

Answer Take(const std::string& function)
{
    HoldIfAsked(function);
    auto reply = NextReply(function);
    return Answer{reply ? std::move(*reply) : Reply{}, reply.has_value()};
}

unsigned NewHandle(const Reply& reply)
{
    if (reply.handle)
        return *reply.handle;
    std::lock_guard guard(State().lock);
    return State().nextHandle++;
}

std::string CountedName(const ISC_SCHAR* name, std::size_t length)
{
    if (name == nullptr)
        return {};
    return std::string(name, length != 0 ? length : std::strlen(name));
}

std::string MessageFor(ISC_STATUS code)
{
    std::lock_guard guard(State().lock);
    auto found = State().messages.find(code);
    return found != State().messages.end() ? found->second : "fake error " + std::to_string(code);
}

// The text of one argument cluster at v (types 2, 3, 4, 5), advancing v past it.
std::string ArgumentText(const ISC_STATUS*& v)
{
    switch (v[0]) {
    case isc_arg_cstring: {
        std::string text(reinterpret_cast<const char*>(v[2]), static_cast<std::size_t>(v[1]));
        v += 3;
        return text;
    }
    case isc_arg_number: {
        std::string text = std::to_string(v[1]);
        v += 2;
        return text;
    }
    default: {
        std::string text = reinterpret_cast<const char*>(v[1]);
        v += 2;
        return text;
    }
    }
}

bool IsArgument(ISC_STATUS type)
{
    return type == isc_arg_string || type == isc_arg_cstring || type == isc_arg_number ||
           type == isc_arg_interpreted;
}

// The scripted answer of an attach: on success the handle is set (to the script's or a new one).
ISC_STATUS AnswerAttach(const char* function, ISC_STATUS* status, FB_API_HANDLE* handle)
{
    Answer answer = Take(function);
    const ISC_STATUS result = WriteStatus(status, answer.reply);
    if (result == 0 && handle != nullptr)
        *handle = NewHandle(answer.reply);
    return result;
}

// The scripted answer of a detach: on success the handle is cleared.
ISC_STATUS AnswerDetach(const char* function, ISC_STATUS* status, FB_API_HANDLE* handle)
{
    Answer answer = Take(function);
    const ISC_STATUS result = WriteStatus(status, answer.reply);
    if (result == 0 && handle != nullptr)
        *handle = 0;
    return result;
}

}  // namespace

const Arg& Call::Get(const std::string& name) const
{
    for (const Arg& arg : args)
        if (arg.name == name)
            return arg;
    throw std::out_of_range(function + " has no argument " + name);
}

Reply Failure(ISC_STATUS code, std::vector<StatusWord> arguments)
{
    Reply reply;
    reply.status.emplace_back(static_cast<ISC_STATUS>(isc_arg_gds));
    reply.status.emplace_back(code);
    for (StatusWord& word : arguments)
        reply.status.push_back(std::move(word));
    reply.status.emplace_back(static_cast<ISC_STATUS>(isc_arg_end));
    return reply;
}

Reply Output(std::string bytes)
{
    Reply reply;
    reply.output = std::move(bytes);
    return reply;
}

Reply Handle(unsigned handle)
{
    Reply reply;
    reply.handle = handle;
    return reply;
}

void Reset()
{
    std::lock_guard guard(State().lock);
    State().calls.clear();
    State().replies.clear();
    State().messages.clear();
    State().sqlCodes.clear();
    State().nextHandle = 100;
    std::lock_guard holdGuard(Holds().lock);
    Holds().asked.clear();
}

void Push(const std::string& function, Reply reply)
{
    std::lock_guard guard(State().lock);
    State().replies[function].push_back(std::move(reply));
}

std::size_t Pending(const std::string& function)
{
    std::lock_guard guard(State().lock);
    auto found = State().replies.find(function);
    return found == State().replies.end() ? 0 : found->second.size();
}

std::vector<Call> Calls()
{
    std::lock_guard guard(State().lock);
    return State().calls;
}

std::vector<Call> CallsTo(const std::string& function)
{
    std::vector<Call> selected;
    for (Call& call : Calls())
        if (call.function == function)
            selected.push_back(std::move(call));
    return selected;
}

std::vector<std::string> CallNames(std::initializer_list<std::string> except)
{
    std::vector<std::string> names;
    for (const Call& call : Calls()) {
        bool skip = false;
        for (const std::string& name : except)
            skip = skip || call.function == name;
        if (!skip)
            names.push_back(call.function);
    }
    return names;
}

void SetMessage(ISC_STATUS code, std::string text)
{
    std::lock_guard guard(State().lock);
    State().messages[code] = std::move(text);
}

void SetSqlCode(ISC_STATUS code, ISC_LONG sqlCode)
{
    std::lock_guard guard(State().lock);
    State().sqlCodes[code] = sqlCode;
}

void HoldNext(const std::string& function, int letThrough)
{
    std::lock_guard guard(Holds().lock);
    Holds().asked[function] = letThrough;
}

bool Holding()
{
    std::lock_guard guard(Holds().lock);
    return Holds().held > 0;
}

bool WaitUntilHolding(std::chrono::milliseconds limit)
{
    THolds& holds = Holds();
    std::unique_lock guard(holds.lock);
    return holds.changed.wait_for(guard, limit, [&] { return holds.held > 0; });
}

void Release()
{
    std::lock_guard guard(Holds().lock);
    if (Holds().held > Holds().released)
        ++Holds().released;
    Holds().changed.notify_all();
}

// Used by the C stubs of the entry points that only have to exist.
extern "C" void fake_client_record_stub(const char* function)
{
    Record(function, {});
}

}  // namespace fakeclient

using namespace fakeclient;

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

extern "C" {

ISC_STATUS ISC_EXPORT isc_attach_database(ISC_STATUS* status, short nameLength, const ISC_SCHAR* name,
                                          isc_db_handle* handle, short dpbLength, const ISC_SCHAR* dpb)
{
    Record("isc_attach_database",
           {Pointer("status", status), Number("name_length", nameLength),
            Block("name", name, CountedName(name, static_cast<unsigned short>(nameLength)).size()),
            Number("handle", handle != nullptr ? *handle : 0), Number("dpb_length", dpbLength),
            Block("dpb", dpb, dpbLength > 0 ? static_cast<std::size_t>(dpbLength) : 0)});
    return AnswerAttach("isc_attach_database", status, handle);
}

ISC_STATUS ISC_EXPORT isc_detach_database(ISC_STATUS* status, isc_db_handle* handle)
{
    Record("isc_detach_database", {Pointer("status", status), Number("handle", handle != nullptr ? *handle : 0)});
    return AnswerDetach("isc_detach_database", status, handle);
}

ISC_STATUS ISC_EXPORT isc_database_info(ISC_STATUS* status, isc_db_handle* handle, short itemLength,
                                        const ISC_SCHAR* items, short bufferLength, ISC_SCHAR* buffer)
{
    Record("isc_database_info",
           {Pointer("status", status), Number("handle", handle != nullptr ? *handle : 0),
            Number("item_length", itemLength),
            Block("items", items, itemLength > 0 ? static_cast<std::size_t>(itemLength) : 0),
            Number("buffer_length", bufferLength)});
    Answer answer = Take("isc_database_info");
    const ISC_STATUS result = WriteStatus(status, answer.reply);
    if (result == 0)
        WriteOutput(answer.reply, answer.scripted, buffer, bufferLength > 0 ? static_cast<std::size_t>(bufferLength) : 0);
    return result;
}

ISC_LONG ISC_EXPORT isc_vax_integer(const ISC_SCHAR* bytes, short length)
{
    Record("isc_vax_integer", {Block("bytes", bytes, length > 0 ? static_cast<std::size_t>(length) : 0),
                               Number("length", length)});
    if (bytes == nullptr || length <= 0 || length > 4)
        return 0;
    // Least significant byte first; the last byte carries the sign.
    const auto* p = reinterpret_cast<const unsigned char*>(bytes);
    ISC_LONG value = 0;
    int shift = 0;
    for (short i = 0; i + 1 < length; ++i, shift += 8)
        value += static_cast<ISC_LONG>(static_cast<uint32_t>(p[i]) << shift);
    value += static_cast<ISC_LONG>(static_cast<uint32_t>(static_cast<int32_t>(static_cast<signed char>(p[length - 1])))
                                   << shift);
    return value;
}

ISC_LONG ISC_EXPORT isc_sqlcode(const ISC_STATUS* status)
{
    Record("isc_sqlcode", {Pointer("status", status), Number("code", status != nullptr ? status[1] : 0)});
    if (status == nullptr || status[0] != isc_arg_gds || status[1] == 0)
        return 0;
    std::lock_guard guard(State().lock);
    for (const ISC_STATUS* v = status; v < status + ISC_STATUS_LENGTH && *v != isc_arg_end;) {
        if (*v == isc_arg_gds) {
            auto found = State().sqlCodes.find(v[1]);
            if (found != State().sqlCodes.end())
                return found->second;
            v += 2;
        } else {
            v += *v == isc_arg_cstring ? 3 : 2;
        }
    }
    return -999;
}

ISC_LONG ISC_EXPORT isc_interprete(ISC_SCHAR* buffer, ISC_STATUS** cursor)
{
    Record("isc_interprete", {});
    if (buffer == nullptr || cursor == nullptr || *cursor == nullptr)
        return 0;
    const ISC_STATUS* v = *cursor;
    std::string text;
    // Clusters that carry no message (e.g. an SQL state) are passed over.
    while (*v != isc_arg_end && text.empty()) {
        if (*v == isc_arg_gds) {
            text = MessageFor(v[1]);
            v += 2;
            for (int n = 1; IsArgument(*v); ++n) {
                const std::string argument = ArgumentText(v);
                const std::string mark = "@" + std::to_string(n);
                if (auto at = text.find(mark); at != std::string::npos)
                    text.replace(at, mark.size(), argument);
            }
        } else if (IsArgument(*v)) {
            text = ArgumentText(v);
        } else {
            v += 2;
        }
    }
    *cursor = const_cast<ISC_STATUS*>(v);
    if (text.empty())
        return 0;
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    return static_cast<ISC_LONG>(text.size());
}

#ifndef FAKE_CLIENT_NO_ROLLBACK_RETAINING
ISC_STATUS ISC_EXPORT isc_service_attach(ISC_STATUS* status, unsigned short nameLength, const ISC_SCHAR* name,
                                         isc_svc_handle* handle, unsigned short spbLength, const ISC_SCHAR* spb)
{
    Record("isc_service_attach", {Pointer("status", status), Number("name_length", nameLength),
                                  Block("name", name, CountedName(name, nameLength).size()),
                                  Number("handle", handle != nullptr ? *handle : 0), Number("spb_length", spbLength),
                                  Block("spb", spb, spbLength)});
    return AnswerAttach("isc_service_attach", status, handle);
}

ISC_STATUS ISC_EXPORT isc_service_detach(ISC_STATUS* status, isc_svc_handle* handle)
{
    Record("isc_service_detach", {Pointer("status", status), Number("handle", handle != nullptr ? *handle : 0)});
    return AnswerDetach("isc_service_detach", status, handle);
}

ISC_STATUS ISC_EXPORT isc_service_start(ISC_STATUS* status, isc_svc_handle* handle, isc_resv_handle* reserved,
                                        unsigned short spbLength, const ISC_SCHAR* spb)
{
    Record("isc_service_start", {Pointer("status", status), Number("handle", handle != nullptr ? *handle : 0),
                                 Pointer("reserved", reserved), Number("spb_length", spbLength),
                                 Block("spb", spb, spbLength)});
    Answer answer = Take("isc_service_start");
    return WriteStatus(status, answer.reply);
}

ISC_STATUS ISC_EXPORT isc_service_query(ISC_STATUS* status, isc_svc_handle* handle, isc_resv_handle* reserved,
                                        unsigned short sendLength, const ISC_SCHAR* sendItems,
                                        unsigned short requestLength, const ISC_SCHAR* requestItems,
                                        unsigned short bufferLength, ISC_SCHAR* buffer)
{
    Record("isc_service_query", {Pointer("status", status), Number("handle", handle != nullptr ? *handle : 0),
                                 Pointer("reserved", reserved), Number("send_length", sendLength),
                                 Block("send", sendItems, sendLength), Number("request_length", requestLength),
                                 Block("request", requestItems, requestLength), Number("buffer_length", bufferLength)});
    Answer answer = Take("isc_service_query");
    const ISC_STATUS result = WriteStatus(status, answer.reply);
    if (result == 0)
        WriteOutput(answer.reply, answer.scripted, buffer, bufferLength);
    return result;
}
#endif

#ifndef FAKE_CLIENT_NO_VERSION_QUERY
int ISC_EXPORT isc_get_client_major_version()
{
    Record("isc_get_client_major_version", {});
    return FAKE_CLIENT_MAJOR;
}

int ISC_EXPORT isc_get_client_minor_version()
{
    Record("isc_get_client_minor_version", {});
    return FAKE_CLIENT_MINOR;
}

void ISC_EXPORT isc_get_client_version(ISC_SCHAR* buffer)
{
    Record("isc_get_client_version", {});
    if (buffer != nullptr)
        std::strcpy(buffer, "fake client " FAKE_CLIENT_VERSION_TEXT(FAKE_CLIENT_MAJOR, FAKE_CLIENT_MINOR));
}
#endif

}  // extern "C"

#pragma GCC diagnostic pop

// ---- Shared with the SQL section (FakeSql.cpp): the recording and answering helpers. ----
namespace fakeclient::detail {

void RecordCall(std::string function, std::vector<Arg> args)
{
    Record(std::move(function), std::move(args));
}

Arg NumberArg(std::string name, int64_t value)
{
    return Number(std::move(name), value);
}

Arg BlockArg(std::string name, const void* data, std::size_t length)
{
    return Block(std::move(name), data, length);
}

bool TakeAnswer(const std::string& function, Reply& reply)
{
    Answer answer = Take(function);
    reply = std::move(answer.reply);
    return answer.scripted;
}

ISC_STATUS WriteStatusWords(ISC_STATUS* status, const Reply& reply)
{
    return WriteStatus(status, reply);
}

void WriteOutputBytes(const Reply& reply, bool scripted, ISC_SCHAR* buffer, std::size_t length)
{
    WriteOutput(reply, scripted, buffer, length);
}

}  // namespace fakeclient::detail
