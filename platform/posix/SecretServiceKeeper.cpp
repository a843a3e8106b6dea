// The Secret Service through libsecret's synchronous calls, each bounded by a deadline: a
// keeper that does not answer in time (a locked keyring whose unlock prompt nobody answers)
// is cancelled and counts as not answering, so that neither start-up nor exit hangs on it.
#include "platform/posix/SecretServiceKeeper.h"

#include <chrono>
#include <condition_variable>
#include <iconv.h>
#include <mutex>
#include <thread>
#include <utility>

#include <libsecret/secret.h>

namespace {

// Long enough for a keeper that starts on demand; short enough that a start-up never seems
// to hang.
constexpr std::chrono::seconds kAnswerTimeLimit{5};

// The items' schemas: their names and the three attributes that name the program, the server
// and the user name. The refresh token's attributes have names of their own, so that neither
// kind of item is ever found, replaced or removed in place of the other, even by a tool that
// searches by attributes alone (libsecret adds the schema's name to every search as well).
const SecretSchema kPasswordSchema = {
    "org.kelvor.Password",
    SECRET_SCHEMA_NONE,
    {{"application", SECRET_SCHEMA_ATTRIBUTE_STRING},
     {"server", SECRET_SCHEMA_ATTRIBUTE_STRING},
     {"user", SECRET_SCHEMA_ATTRIBUTE_STRING},
     {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING}},
    0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};
const SecretSchema kRefreshTokenSchema = {
    "org.kelvor.RefreshToken",
    SECRET_SCHEMA_NONE,
    {{"application", SECRET_SCHEMA_ATTRIBUTE_STRING},
     {"signin-server", SECRET_SCHEMA_ATTRIBUTE_STRING},
     {"signin-user", SECRET_SCHEMA_ATTRIBUTE_STRING},
     {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING}},
    0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};

const SecretSchema& SchemaOf(KeptSecret kind)
{
    return kind == KeptSecret::RefreshToken ? kRefreshTokenSchema : kPasswordSchema;
}

// The label a person sees in the keyring's manager.
std::string LabelOf(KeptSecret kind, const std::string& server, const std::string& user)
{
    if (kind == KeptSecret::RefreshToken)
        return "Kelvor sign-in for " + user + " on " + server + " (refresh token)";
    return "Kelvor mailbox password for " + user + " on " + server;
}

// The program's Shift_JIS and the UTF-8 of D-Bus, either way; false when a byte has no
// counterpart, so that no text is ever stored altered.
bool Convert(const char* to, const char* from, const std::string& text, std::string& converted)
{
    iconv_t conversion = iconv_open(to, from);
    if (conversion == reinterpret_cast<iconv_t>(-1))
        return false;
    converted.assign(text.size() * 4 + 4, '\0');
    char* in = const_cast<char*>(text.data());
    std::size_t inLeft = text.size();
    char* out = converted.data();
    std::size_t outLeft = converted.size();
    const bool whole = iconv(conversion, &in, &inLeft, &out, &outLeft) != static_cast<std::size_t>(-1);
    iconv_close(conversion);
    converted.resize(converted.size() - outLeft);
    return whole && inLeft == 0;
}

// Cancels the call in flight when the time is up; the call then ends with G_IO_ERROR_CANCELLED.
class CallDeadline {
public:
    explicit CallDeadline(GCancellable* cancellable)
        : m_watch([this, cancellable] {
              std::unique_lock<std::mutex> lock(m_mutex);
              if (!m_ended.wait_for(lock, kAnswerTimeLimit, [this] { return m_done; }))
                  g_cancellable_cancel(cancellable);
          })
    {
    }
    ~CallDeadline()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_done = true;
        }
        m_ended.notify_one();
        m_watch.join();
    }
    CallDeadline(const CallDeadline&) = delete;
    CallDeadline& operator=(const CallDeadline&) = delete;

private:
    std::mutex m_mutex;
    std::condition_variable m_ended;
    bool m_done = false;
    std::thread m_watch;
};

// One call of libsecret with its attributes, its cancellable and its error.
class Call {
public:
    Call() : m_cancellable(g_cancellable_new()), m_deadline(m_cancellable) {}
    ~Call()
    {
        if (m_error != nullptr)
            g_error_free(m_error);
        if (m_attributes != nullptr)
            g_hash_table_unref(m_attributes);
        g_object_unref(m_cancellable);
    }
    Call(const Call&) = delete;
    Call& operator=(const Call&) = delete;

    // False when a text cannot be said in UTF-8.
    bool SetAttributes(const SecretSchema& schema, const std::string& program, const std::string& server,
                       const std::string& user)
    {
        std::string values[3];
        if (!Convert("UTF-8", "CP932", program, values[0]) || !Convert("UTF-8", "CP932", server, values[1]) ||
            !Convert("UTF-8", "CP932", user, values[2]))
            return false;
        m_attributes = g_hash_table_new_full(g_str_hash, g_str_equal, nullptr, g_free);
        for (int i = 0; i < 3; ++i)
            g_hash_table_insert(m_attributes, const_cast<char*>(schema.attributes[i].name), g_strdup(values[i].c_str()));
        return true;
    }
    GHashTable* Attributes() const { return m_attributes; }
    GCancellable* Cancellable() const { return m_cancellable; }
    GError** Error() { return &m_error; }
    bool Failed() const { return m_error != nullptr; }

    // No session bus, or nobody on it who owns or can start the Secret Service: there is no
    // keeper. A call cut off by its deadline, a dismissed prompt or any other refusal: the
    // keeper did not answer.
    KeeperAnswer FailureAnswer(std::string& reason) const
    {
        reason = m_error->message;
        if (m_error->domain == G_DBUS_ERROR &&
            (m_error->code == G_DBUS_ERROR_SERVICE_UNKNOWN || m_error->code == G_DBUS_ERROR_NAME_HAS_NO_OWNER ||
             m_error->code == G_DBUS_ERROR_SPAWN_SERVICE_NOT_FOUND || m_error->code == G_DBUS_ERROR_SPAWN_EXEC_FAILED))
            return KeeperAnswer::Absent;
        return KeeperAnswer::NoAnswer;
    }

    // Names the item and finds the session bus; false, with the reason, when a name has no
    // UTF-8 form or there is no bus: then there is no keeper for this call.
    bool Open(const SecretSchema& schema, const std::string& program, const std::string& server,
              const std::string& user, std::string& reason)
    {
        if (!SetAttributes(schema, program, server, user)) {
            reason = "the server or user name has no UTF-8 form";
            return false;
        }
        return HasSessionBus(reason);
    }

private:
    // The session bus; false (with the reason) when there is none.
    bool HasSessionBus(std::string& reason)
    {
        GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, m_cancellable, &m_error);
        if (bus == nullptr) {
            reason = m_error != nullptr ? m_error->message : "no session bus";
            return false;
        }
        g_object_unref(bus);
        return true;
    }

    GCancellable* m_cancellable;
    GHashTable* m_attributes = nullptr;
    GError* m_error = nullptr;
    CallDeadline m_deadline;
};

}  // namespace

CSecretServiceKeeper::CSecretServiceKeeper(std::string programName, KeptSecret kind)
    : m_programName(std::move(programName)),
      m_kind(kind)
{
}

CSecretServiceKeeper::~CSecretServiceKeeper()
{
    // Drops libsecret's connection to the service, which it otherwise keeps for the process.
    secret_service_disconnect();
}

KeeperAnswer CSecretServiceKeeper::Read(const std::string& server, const std::string& user,
                                        std::string& password)
{
    Call call;
    if (!call.Open(SchemaOf(m_kind), m_programName, server, user, m_lastError))
        return KeeperAnswer::Absent;
    gchar* found = secret_password_lookupv_sync(&SchemaOf(m_kind), call.Attributes(), call.Cancellable(), call.Error());
    if (call.Failed())
        return call.FailureAnswer(m_lastError);
    if (found == nullptr)
        return KeeperAnswer::NotFound;
    const bool converted = Convert("CP932", "UTF-8", found, password);
    secret_password_free(found);
    if (!converted) {
        // Not a password this program stored: leave it alone, as one that could not be read.
        m_lastError = "the kept password has no Shift_JIS form";
        password.clear();
        return KeeperAnswer::NoAnswer;
    }
    return KeeperAnswer::Done;
}

KeeperAnswer CSecretServiceKeeper::Store(const std::string& server, const std::string& user,
                                         const std::string& password)
{
    Call call;
    std::string utf8Password;
    std::string label;
    if (!Convert("UTF-8", "CP932", password, utf8Password) ||
        !Convert("UTF-8", "CP932", LabelOf(m_kind, server, user), label)) {
        m_lastError = "a text has no UTF-8 form";
        return KeeperAnswer::Absent;
    }
    if (!call.Open(SchemaOf(m_kind), m_programName, server, user, m_lastError))
        return KeeperAnswer::Absent;
    // The default collection is the keyring that the desktop unlocks at login; an item with
    // the same attributes is replaced.
    secret_password_storev_sync(&SchemaOf(m_kind), call.Attributes(), SECRET_COLLECTION_DEFAULT, label.c_str(),
                                utf8Password.c_str(), call.Cancellable(), call.Error());
    if (call.Failed())
        return call.FailureAnswer(m_lastError);
    return KeeperAnswer::Done;
}

KeeperAnswer CSecretServiceKeeper::Forget(const std::string& server, const std::string& user)
{
    Call call;
    if (!call.Open(SchemaOf(m_kind), m_programName, server, user, m_lastError))
        return KeeperAnswer::Absent;
    // False without an error when there was nothing to remove, which is done too.
    secret_password_clearv_sync(&SchemaOf(m_kind), call.Attributes(), call.Cancellable(), call.Error());
    if (call.Failed())
        return call.FailureAnswer(m_lastError);
    return KeeperAnswer::Done;
}
