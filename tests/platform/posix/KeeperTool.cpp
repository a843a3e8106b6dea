// A stand-in for the program's start-up and "OK" in the Secret Service test: the settings
// file of a directory and the session's Secret Service, through the program's own classes.
//   kelvor_keeper_tool load DIRECTORY SERVER USER            prints the password start-up finds
//   kelvor_keeper_tool save DIRECTORY SERVER USER [PASSWORD] start-up, then the settings written
//                                                            with the password typed (or the one found)
//   kelvor_keeper_tool token read|store|forget SERVER USER [TOKEN]
//                                                            the refresh token's own item
//   kelvor_keeper_tool silent-keeper                         owns the Secret Service's name on the
//                                                            bus and never answers, until stdin ends
#include <cstdio>
#include <iostream>
#include <string>

#include <gio/gio.h>

#include "app/PasswordSetting.h"
#include "platform/posix/PosixProfile.h"
#include "platform/posix/SecretServiceKeeper.h"

namespace {

int HoldTheNameSilently()
{
    GError* error = nullptr;
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
    if (bus == nullptr) {
        std::cerr << "no session bus: " << error->message << '\n';
        return 1;
    }
    // Calls to the service are queued for this thread's main context, which never runs, so
    // that none of them ever gets an answer. The bus answers for methods it does not know of
    // at once, so the service's first calls are declared.
    static const char kService[] =
        "<node><interface name='org.freedesktop.Secret.Service'>"
        "<method name='OpenSession'><arg type='s' direction='in'/><arg type='v' direction='in'/>"
        "<arg type='v' direction='out'/><arg type='o' direction='out'/></method>"
        "<method name='SearchItems'><arg type='a{ss}' direction='in'/><arg type='ao' direction='out'/>"
        "<arg type='ao' direction='out'/></method>"
        "<property name='Collections' type='ao' access='read'/>"
        "</interface></node>";
    GDBusNodeInfo* node = g_dbus_node_info_new_for_xml(kService, &error);
    static const GDBusInterfaceVTable never = {
        [](GDBusConnection*, const char*, const char*, const char*, const char*, GVariant*, GDBusMethodInvocation*,
           gpointer) {},
        [](GDBusConnection*, const char*, const char*, const char*, const char*, GError**, gpointer) -> GVariant* {
            return nullptr;
        },
        nullptr,
        {}};
    if (node == nullptr || g_dbus_connection_register_object(bus, "/org/freedesktop/secrets", node->interfaces[0],
                                                             &never, nullptr, nullptr, &error) == 0) {
        std::cerr << "cannot register the service: " << error->message << '\n';
        return 1;
    }
    GVariant* reply = g_dbus_connection_call_sync(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                                  "org.freedesktop.DBus", "RequestName",
                                                  g_variant_new("(su)", "org.freedesktop.secrets", 4u),
                                                  G_VARIANT_TYPE("(u)"), G_DBUS_CALL_FLAGS_NONE, -1, nullptr, &error);
    if (reply == nullptr) {
        std::cerr << "cannot own the name: " << error->message << '\n';
        return 1;
    }
    g_variant_unref(reply);
    std::cout << "ready" << std::endl;
    std::string line;
    while (std::getline(std::cin, line)) {
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "silent-keeper")
        return HoldTheNameSilently();
    if (command == "token" && argc >= 5) {
        CSecretServiceKeeper tokens("kelvor", KeptSecret::RefreshToken);
        const std::string action = argv[2];
        std::string token;
        KeeperAnswer answer = action == "read"     ? tokens.Read(argv[3], argv[4], token)
                              : action == "store"  ? tokens.Store(argv[3], argv[4], argc > 5 ? argv[5] : "")
                                                   : tokens.Forget(argv[3], argv[4]);
        std::cout << token;
        return answer == KeeperAnswer::Done ? 0 : 1;
    }
    if ((command != "load" && command != "save") || argc < 5 || argc > 6) {
        std::cerr << "usage: kelvor_keeper_tool load|save DIRECTORY SERVER USER [PASSWORD]\n";
        return 2;
    }
    PosixProfile profile(argv[2]);
    CSecretServiceKeeper keeper("kelvor");
    CPasswordSetting password(profile, keeper, "Settings", "PWD");
    const std::string found = password.Load(argv[3], argv[4], "kelvor.INI");
    if (command == "load") {
        std::cout << found;
        return 0;
    }
    password.Store(argv[3], argv[4], argc == 6 ? argv[5] : found, "kelvor.INI");
    if (!keeper.LastError().empty())
        std::cerr << "keeper: " << keeper.LastError() << '\n';
    return 0;
}
