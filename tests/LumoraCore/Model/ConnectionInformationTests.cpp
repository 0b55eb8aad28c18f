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

// What a process record says, "-" for what it lacks: "bundle | identifier | name | via | XPC".
std::string facts(const ProcessInformation& process) {
    return process.processBundlePath().value_or("-") + " | " + process.bundleIdentifier().value_or("-") +
           " | " + process.processDisplayName() + " | " + process.viaProcessDisplayName().value_or("-") +
           (process.isViaXPC() ? " | XPC" : " | -");
}

TEST(ConnectionInformationBundlePath, FindsTheBundleOfAMainExecutable) {
    TemporaryFolder folder;
    const auto editor = makeApplication(folder, "Editor", "com.example.editor");
    const auto executable = (editor / "Contents" / "MacOS" / "Editor").string();

    EXPECT_EQ(facts(ProcessInformation(executable)),
              editor.string() + " | com.example.editor | Editor | - | -");
    // Another executable of the same bundle belongs to no bundle.
    const auto helper = (editor / "Contents" / "MacOS" / "helper").string();
    EXPECT_EQ(ProcessInformation::bundlePathForExecutablePath(helper), helper);
    EXPECT_EQ(facts(ProcessInformation(helper)), "- | - | helper | - | -");

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
    // Nothing exists at the candidates: they are accepted unchecked.
    const std::pair<const char*, const char*> cases[] = {
        {"/nonexistent/Editor.app/Contents/MacOS/Editor", "/nonexistent/Editor.app"},
        {"/nonexistent/Host.app/Contents/PlugIns/Share.appex/Contents/Resources/tool",
         "/nonexistent/Host.app/Contents/PlugIns/Share.appex"},
        {"/nonexistent/Host.app/Contents/Resources/tool", "/nonexistent/Host.app"},
        // Below the MacOS folder only the Java layout counts.
        {"/nonexistent/Tool.app/Contents/MacOS/../Java/launcher", "/nonexistent/Tool.app"},
        {"/nonexistent/Tool.app/Contents/MacOS/sub/tool", "/nonexistent/Tool.app/Contents/MacOS/sub/tool"},
        {"/nonexistent/Tool.app/Contents/PlugIns/jre.bundle/Contents/Home/bin/java", "/nonexistent/Tool.app"},
        // The last occurrence counts.
        {"/a/Outer.app/Contents/MacOS/x/Inner.app/Contents/MacOS/Inner",
         "/a/Outer.app/Contents/MacOS/x/Inner.app"},
        // No bundle component; one trailing "/" goes.
        {"/usr/bin/curl", "/usr/bin/curl"},
        {"/usr/bin/", "/usr/bin"},
        {"/", ""},
        {"Editor.app.txt", "Editor.app.txt"},
    };
    for (const auto& [executable, bundle] : cases) {
        EXPECT_EQ(ProcessInformation::bundlePathForExecutablePath(executable), bundle) << executable;
    }
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
    EXPECT_EQ(facts(ProcessInformation("/usr/bin/curl")), "- | - | curl | - | -");
    EXPECT_FALSE(ProcessInformation("/usr/bin/curl").viaProcessPath().has_value());
    EXPECT_EQ(
        facts(ProcessInformation("/nonexistent/Editor.app/Contents/MacOS/Editor", std::string("/b"),
                                 std::string("com.example.b"), std::string("/usr/libexec/nsurlsessiond"),
                                 true, std::string("Shown"), std::string("Helper"))),
        "/b | com.example.b | Shown | Helper | XPC");
    const std::optional<std::string> nsurlsessiond = "/usr/libexec/nsurlsessiond";
    EXPECT_EQ(facts(ProcessInformation("/usr/bin/curl", std::nullopt, std::nullopt, nsurlsessiond, false)),
              "- | - | curl | nsurlsessiond | -");
    // XPC without a helper path is not kept.
    EXPECT_EQ(facts(ProcessInformation("/usr/bin/curl", std::nullopt, std::nullopt, std::nullopt, true)),
              "- | - | curl | - | -");
    // The developer panel's process "/" and other paths that end in "/" only lose that slash in
    // the bundle path computation; that is no bundle.
    EXPECT_EQ(facts(ProcessInformation("/")), "- | - | / | - | -");
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

    for (const auto& [endpoint, text] :
         {std::pair{RemoteEndpoint::domain("example.com"), "domain example.com"},
          {RemoteEndpoint::host("api.example.com"), "host api.example.com"},
          {RemoteEndpoint::ipAddresses(*NQIPAddressSet::addressSetFromDisplayString("10.0.0.0/8, 192.0.2.1")),
           "10.0.0.0-10.255.255.255, 192.0.2.1"},
          {RemoteEndpoint::localNetwork(), "local network"},
          {RemoteEndpoint::berkeleyPacketFilter(), "Berkeley Packet Filter"}}) {
        EXPECT_EQ(endpoint.description(), text);
    }

    const NetworkInformation network(false,
                                     {RemoteEndpoint::host("example.com"), RemoteEndpoint::localNetwork()},
                                     NetworkProtocol::tcp, PortSet::withPort(443));
    EXPECT_EQ(network.description(), "remoteEndpoints: [host example.com, local network], ports: 1 indexes, "
                                     "protocol: TCP, incoming: false");
    EXPECT_EQ(NetworkInformation(true, {}, std::nullopt, PortSet::allPorts()).description(),
              "remoteEndpoints: [], ports: 65536 indexes, protocol: <none>, incoming: true");

    const ProcessInformation curl("/usr/bin/curl");
    EXPECT_EQ(ConnectionInformation(curl, network).description(),
              " processInformation: " + curl.description() + " networkInformation: " + network.description());
    EXPECT_EQ(ConnectionInformation(curl, std::nullopt).description(),
              " processInformation: " + curl.description() + " networkInformation: <none>");
}

TEST(ConnectionInformationEquality, ComparesValues) {
    const auto addresses = [](const char* text) {
        return RemoteEndpoint::ipAddresses(*NQIPAddressSet::addressSetFromDisplayString(text));
    };
    // Address sets compare as sets, whatever their text.
    EXPECT_EQ(addresses("10.0.0.0-10.0.0.255"), addresses("10.0.0.0/24"));
    EXPECT_NE(RemoteEndpoint::host("example.com"), RemoteEndpoint::domain("example.com"));
    EXPECT_NE(RemoteEndpoint::host("example.com"), RemoteEndpoint::host("Example.com"));

    const std::vector endpoints{RemoteEndpoint::host("a"), RemoteEndpoint::localNetwork()};
    const auto tcp = NetworkProtocol::tcp;
    const NetworkInformation network(false, endpoints, tcp, PortSet::withPort(443));
    EXPECT_EQ(network, NetworkInformation(false, endpoints, tcp, PortSet::withPort(443)));
    for (const auto& other :
         {NetworkInformation(false, {endpoints[1], endpoints[0]}, tcp, PortSet::withPort(443)),
          NetworkInformation(true, endpoints, tcp, PortSet::withPort(443)),
          NetworkInformation(false, endpoints, std::nullopt, PortSet::withPort(443)),
          NetworkInformation(false, endpoints, tcp, PortSet::withPort(80))}) {
        EXPECT_NE(network, other) << other.description();
    }

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
