#include "Code/Model/ConnectionInformation.h"
#include "Support/TemporaryFolder.h"

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;
using ProcessInformation = ConnectionInformation::ProcessInformation;
using NetworkInformation = ConnectionInformation::NetworkInformation;
using RemoteEndpoint = NetworkInformation::RemoteEndpoint;

std::string infoPlist(const std::string& identifier, const std::string& executable) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
           "<key>CFBundleIdentifier</key><string>" +
           identifier + "</string><key>CFBundleExecutable</key><string>" + executable +
           "</string></dict></plist>\n";
}

// An application bundle with an Info.plist that names its identifier and main executable, and a
// second executable beside the main one.
fs::path makeApplication(const TemporaryFolder& folder, const std::string& name,
                         const std::string& identifier) {
    const std::string bundle = name + ".app";
    folder.write(bundle + "/Contents/Info.plist", infoPlist(identifier, name));
    folder.write(bundle + "/Contents/MacOS/" + name, "");
    folder.write(bundle + "/Contents/MacOS/helper", "");
    return folder.path() / bundle;
}

TEST(ConnectionInformationBundlePath, FindsTheBundleOfAMainExecutable) {
    TemporaryFolder folder;
    const auto editor = makeApplication(folder, "Editor", "com.example.editor");
    const auto executable = (editor / "Contents" / "MacOS" / "Editor").string();

    const ProcessInformation process(executable);
    EXPECT_EQ(process.processBundlePath(), editor.string());
    EXPECT_EQ(process.bundleIdentifier(), "com.example.editor");
    EXPECT_EQ(process.processDisplayName(), "Editor");

    // Another executable of the same bundle belongs to no bundle.
    const auto helper = (editor / "Contents" / "MacOS" / "helper").string();
    EXPECT_EQ(ProcessInformation::bundlePathForExecutablePath(helper), helper);
    EXPECT_FALSE(ProcessInformation(helper).processBundlePath().has_value());
    EXPECT_FALSE(ProcessInformation(helper).bundleIdentifier().has_value());

    // An app extension inside the application: ".appex/" is found before ".app/", and a tool in
    // the extension's resources is not its main executable.
    folder.write("Editor.app/Contents/PlugIns/Share.appex/Contents/Info.plist",
                 infoPlist("com.example.editor.share", "Share"));
    const auto extension = editor / "Contents" / "PlugIns" / "Share.appex";
    const auto tool = (extension / "Contents" / "Resources" / "tool").string();
    EXPECT_EQ(ProcessInformation::bundlePathForExecutablePath(tool), tool);
    EXPECT_EQ(ProcessInformation::bundlePathForExecutablePath((extension / "Contents/MacOS/Share").string()),
              extension.string());
}

TEST(ConnectionInformationBundlePath, FollowsThePathRulesWithoutFiles) {
    const auto bundlePath = ProcessInformation::bundlePathForExecutablePath;
    // Nothing exists at the candidates: they are accepted unchecked.
    EXPECT_EQ(bundlePath("/nonexistent/Editor.app/Contents/MacOS/Editor"), "/nonexistent/Editor.app");
    EXPECT_EQ(bundlePath("/nonexistent/Host.app/Contents/PlugIns/Share.appex/Contents/Resources/tool"),
              "/nonexistent/Host.app/Contents/PlugIns/Share.appex");
    EXPECT_EQ(bundlePath("/nonexistent/Host.app/Contents/Resources/tool"), "/nonexistent/Host.app");
    // Below the MacOS folder only the Java layout counts.
    EXPECT_EQ(bundlePath("/nonexistent/Tool.app/Contents/MacOS/../Java/launcher"), "/nonexistent/Tool.app");
    EXPECT_EQ(bundlePath("/nonexistent/Tool.app/Contents/MacOS/sub/tool"),
              "/nonexistent/Tool.app/Contents/MacOS/sub/tool");
    EXPECT_EQ(bundlePath("/nonexistent/Tool.app/Contents/PlugIns/jre.bundle/Contents/Home/bin/java"),
              "/nonexistent/Tool.app");
    // The last occurrence counts.
    EXPECT_EQ(bundlePath("/a/Outer.app/Contents/MacOS/x/Inner.app/Contents/MacOS/Inner"),
              "/a/Outer.app/Contents/MacOS/x/Inner.app");
    // No bundle component; one trailing "/" goes.
    EXPECT_EQ(bundlePath("/usr/bin/curl"), "/usr/bin/curl");
    EXPECT_EQ(bundlePath("/usr/bin/"), "/usr/bin");
    EXPECT_EQ(bundlePath("/"), "");
    EXPECT_EQ(bundlePath("Editor.app.txt"), "Editor.app.txt");
}

TEST(ConnectionInformationBundlePath, AcceptsABundleWhoseExecutableIsUnknown) {
    TemporaryFolder folder;
    const auto bundle = folder.path() / "Plain.app";
    folder.write("Plain.app/Contents/Info.plist", "<plist version=\"1.0\"><dict></dict></plist>");
    const auto tool = (bundle / "Contents" / "MacOS" / "anything").string();
    EXPECT_EQ(ProcessInformation::bundlePathForExecutablePath(tool), bundle.string());
    const ProcessInformation process(tool);
    EXPECT_EQ(process.processBundlePath(), bundle.string());
    EXPECT_FALSE(process.bundleIdentifier().has_value());
}

TEST(ConnectionInformationProcess, DerivesOnlyWhatIsNotGiven) {
    const ProcessInformation curl("/usr/bin/curl");
    EXPECT_FALSE(curl.processBundlePath().has_value());
    EXPECT_FALSE(curl.bundleIdentifier().has_value());
    EXPECT_EQ(curl.processDisplayName(), "curl");
    EXPECT_FALSE(curl.viaProcessPath().has_value());
    EXPECT_FALSE(curl.viaProcessDisplayName().has_value());

    const ProcessInformation given("/nonexistent/Editor.app/Contents/MacOS/Editor", std::string("/b"),
                                   std::string("com.example.b"), std::string("/usr/libexec/nsurlsessiond"),
                                   true, std::string("Shown"), std::string("Helper"));
    EXPECT_EQ(given.processBundlePath(), "/b");
    EXPECT_EQ(given.bundleIdentifier(), "com.example.b");
    EXPECT_EQ(given.processDisplayName(), "Shown");
    EXPECT_EQ(given.viaProcessDisplayName(), "Helper");
    EXPECT_TRUE(given.isViaXPC());

    const ProcessInformation via("/usr/bin/curl", std::nullopt, std::nullopt,
                                 std::string("/usr/libexec/nsurlsessiond"), false);
    EXPECT_EQ(via.viaProcessDisplayName(), "nsurlsessiond");
    EXPECT_FALSE(via.isViaXPC());

    // XPC without a helper path is not kept.
    EXPECT_FALSE(
        ProcessInformation("/usr/bin/curl", std::nullopt, std::nullopt, std::nullopt, true).isViaXPC());

    // The developer panel's process "/" and other paths that end in "/" only lose that slash in
    // the bundle path computation; that is no bundle.
    EXPECT_FALSE(ProcessInformation("/").processBundlePath().has_value());
    EXPECT_EQ(ProcessInformation("/").processDisplayName(), "/");
    EXPECT_FALSE(ProcessInformation("/usr/bin/").processBundlePath().has_value());
}

TEST(ConnectionInformationDescription, WritesTheExactTexts) {
    const ProcessInformation process("/usr/bin/curl", std::nullopt, std::string("com.example.curl"),
                                     std::string("/usr/libexec/helper"), true);
    EXPECT_EQ(process.description(), "processPath: /usr/bin/curl, bundleIdentifier: com.example.curl, "
                                     "viaProcessPath: /usr/libexec/helper, isViaXPC: true");
    EXPECT_EQ(
        ProcessInformation("/usr/bin/curl").description(),
        "processPath: /usr/bin/curl, bundleIdentifier: <none>, viaProcessPath: <none>, isViaXPC: false");

    EXPECT_EQ(RemoteEndpoint::domain("example.com").description(), "domain example.com");
    EXPECT_EQ(RemoteEndpoint::host("api.example.com").description(), "host api.example.com");
    EXPECT_EQ(
        RemoteEndpoint::ipAddresses(*NQIPAddressSet::addressSetFromDisplayString("192.0.2.1, 10.0.0.0/8"))
            .description(),
        NQIPAddressSet::addressSetFromDisplayString("192.0.2.1, 10.0.0.0/8")->displayString());
    EXPECT_EQ(RemoteEndpoint::localNetwork().description(), "local network");
    EXPECT_EQ(RemoteEndpoint::berkeleyPacketFilter().description(), "Berkeley Packet Filter");

    const NetworkInformation network(false,
                                     {RemoteEndpoint::host("example.com"), RemoteEndpoint::localNetwork()},
                                     NetworkProtocol::tcp, PortSet::withPort(443));
    EXPECT_EQ(network.description(), "remoteEndpoints: [host example.com, local network], ports: 1 indexes, "
                                     "protocol: TCP, incoming: false");
    EXPECT_EQ(NetworkInformation(true, {}, std::nullopt, PortSet::allPorts()).description(),
              "remoteEndpoints: [], ports: 65536 indexes, protocol: <none>, incoming: true");

    const ConnectionInformation withNetwork(ProcessInformation("/usr/bin/curl"), network);
    EXPECT_EQ(withNetwork.description(),
              " processInformation: " + ProcessInformation("/usr/bin/curl").description() +
                  " networkInformation: " + network.description());
    const ConnectionInformation withoutNetwork(ProcessInformation("/usr/bin/curl"), std::nullopt);
    EXPECT_EQ(withoutNetwork.description(),
              " processInformation: " + ProcessInformation("/usr/bin/curl").description() +
                  " networkInformation: <none>");
}

TEST(ConnectionInformationEquality, ComparesValues) {
    const auto addresses = [](const char* text) {
        return RemoteEndpoint::ipAddresses(*NQIPAddressSet::addressSetFromDisplayString(text));
    };
    // Address sets compare as sets, whatever their text.
    EXPECT_EQ(addresses("10.0.0.0-10.0.0.255"), addresses("10.0.0.0/24"));
    EXPECT_NE(RemoteEndpoint::host("example.com"), RemoteEndpoint::domain("example.com"));
    EXPECT_NE(RemoteEndpoint::host("example.com"), RemoteEndpoint::host("Example.com"));

    const NetworkInformation network(false, {RemoteEndpoint::host("a"), RemoteEndpoint::localNetwork()},
                                     NetworkProtocol::tcp, PortSet::withPort(443));
    EXPECT_EQ(network, NetworkInformation(false, {RemoteEndpoint::host("a"), RemoteEndpoint::localNetwork()},
                                          NetworkProtocol::tcp, PortSet::withPort(443)));
    EXPECT_NE(network, NetworkInformation(false, {RemoteEndpoint::localNetwork(), RemoteEndpoint::host("a")},
                                          NetworkProtocol::tcp, PortSet::withPort(443)));
    EXPECT_NE(network, NetworkInformation(true, network.remoteEndpoints(), NetworkProtocol::tcp,
                                          PortSet::withPort(443)));
    EXPECT_NE(network,
              NetworkInformation(false, network.remoteEndpoints(), std::nullopt, PortSet::withPort(443)));
    EXPECT_NE(network, NetworkInformation(false, network.remoteEndpoints(), NetworkProtocol::tcp,
                                          PortSet::withPort(80)));

    const ConnectionInformation a(ProcessInformation("/usr/bin/curl"), network);
    const ConnectionInformation b(ProcessInformation("/usr/bin/curl"), network);
    EXPECT_EQ(a, b);
    EXPECT_NE(a, ConnectionInformation(ProcessInformation("/usr/bin/wget"), network));
    EXPECT_NE(a, ConnectionInformation(ProcessInformation("/usr/bin/curl"), std::nullopt));
    EXPECT_EQ(ConnectionInformation(ProcessInformation("/x"), std::nullopt),
              ConnectionInformation(ProcessInformation("/x"), std::nullopt));
    EXPECT_NE(ProcessInformation("/usr/bin/curl"),
              ProcessInformation("/usr/bin/curl", std::nullopt, std::nullopt, std::nullopt, false,
                                 std::string("cURL")));

    // A record of another class is unequal, whatever it holds.
    class AnnotatedConnectionInformation : public ConnectionInformation {
    public:
        using ConnectionInformation::ConnectionInformation;
    };
    const AnnotatedConnectionInformation annotated(ProcessInformation("/usr/bin/curl"), network);
    EXPECT_FALSE(a == annotated);
    EXPECT_FALSE(annotated == a);
}

} // namespace
