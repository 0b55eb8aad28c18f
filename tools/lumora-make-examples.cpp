// lumora-make-examples: writes the sample applications that show what the viewer shows, signed
// by a demo certificate authority (never an Apple root: pass its certificate with
// --extra-trust-anchors to accept them).
//   lumora-make-examples OUTPUT-DIRECTORY

#include "tools/FixtureSigner/FixtureBundleBuilder.h"
#include "tools/FixtureSigner/FixtureCertificateHierarchy.h"
#include "tools/FixtureSigner/FixtureEntitlements.h"
#include "tools/FixtureSigner/FixtureMachOBuilder.h"

#include <cstdio>
#include <fstream>

namespace fs = std::filesystem;
using Bundle = FixtureBundleBuilder::Bundle;

namespace {

constexpr const char* demoAuthorityName = "LumoraViewer Demo Certificate Authority (not Apple)";

std::string readText(const fs::path& path) {
    std::ifstream stream(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>()};
}

std::string bigEndian32(std::size_t value) {
    return {static_cast<char>(value >> 24 & 0xFF), static_cast<char>(value >> 16 & 0xFF),
            static_cast<char>(value >> 8 & 0xFF), static_cast<char>(value & 0xFF)};
}

// An icon file with one PNG entry ("ic07", the 128-pixel slot).
std::string iconFileWithPNG(const std::string& png) {
    const std::string entry = "ic07" + bigEndian32(png.size() + 8) + png;
    return "icns" + bigEndian32(entry.size() + 8) + entry;
}

Bundle textEditor(const fs::path& examples) {
    Bundle sync;
    sync.name = "SyncService.xpc";
    sync.identifier = "com.example.texteditor.sync";
    sync.executableName = "SyncService";
    sync.seed = 11;
    sync.files = {{"Resources/Lumora.json", R"({
  "ApplicationDescription": "Keeps the documents of %APPNAME% in sync in the background",
  "Connections": [
    {"Host": "*.sync.example.com", "NetworkProtocol": "TCP", "Port": "443", "Relevance": "Essential",
     "Purpose": "Uploads and downloads changed documents", "DenyConsequences": "Documents stay on this computer only"}
  ]
})"}};

    Bundle kit;
    kit.name = "SpellKit.framework";
    kit.identifier = "com.example.spellkit";
    kit.executableName = "SpellKit";
    kit.seed = 12;
    kit.files = {{"Resources/Lumora.plist", R"(<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0"><dict>
  <key>DeveloperName</key><string>Example Dictionaries</string>
  <key>ApplicationDescription</key><string>Checks spelling for %APPNAME%</string>
  <key>Connections</key><array><dict>
    <key>Host</key><string>dictionaries.example.org</string>
    <key>Port</key><string>443</string>
    <key>Relevance</key><string>Default</string>
    <key>Purpose</key><string>Downloads dictionaries for new languages</string>
  </dict></array>
</dict></plist>)"}};

    Bundle editor;
    editor.name = "TextEditor.app";
    editor.identifier = "com.example.texteditor";
    editor.executableName = "TextEditor";
    editor.extraInfoPlistEntries =
        "<key>NSHumanReadableCopyright</key><string>Copyright 2026 Example Software Ltd.</string>\n"
        "<key>CFBundleIconFile</key><string>TextEditor</string>\n";
    editor.files = {
        {"Resources/Lumora.plist", readText(examples / "declarations" / "TextEditor.plist")},
        {"Resources/en.lproj/Lumora.strings",
         "\"Sends anonymous usage statistics\" = \"Sends anonymous usage statistics (you can turn this off "
         "in the settings)\";\n"},
        {"Resources/de.lproj/Lumora.strings",
         "\"A text editor that syncs documents between your devices\" = \"Ein Texteditor, der Dokumente "
         "zwischen Ihren Geräten abgleicht\";\n"
         "\"Checks for new versions of the application\" = \"Sucht nach neuen Versionen des Programms\";\n"
         "\"Sends anonymous usage statistics\" = \"Sendet anonyme Nutzungsstatistiken\";\n"},
        {"Resources/TextEditor.icns", iconFileWithPNG(readText(examples / "icons" / "TextEditor.png"))},
        {"PkgInfo", "APPL????"}};
    editor.nestedBundles = {{"XPCServices", sync}, {"Frameworks", kit}};
    return editor;
}

Bundle plainApplication(const std::string& name, std::uint32_t seed) {
    Bundle bundle;
    bundle.name = name + ".app";
    bundle.identifier = "com.example." + name;
    bundle.executableName = name;
    bundle.seed = seed;
    bundle.files = {{"Resources/Lumora.plist", R"(<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0"><dict>
  <key>ApplicationDescription</key><string>Shows the weather</string>
  <key>Connections</key><array><dict>
    <key>Host</key><string>api.weather.example.net</string>
    <key>Purpose</key><string>Fetches the forecast</string>
  </dict></array>
</dict></plist>)"}};
    return bundle;
}

// Validly signed by the demo authority's team, but carrying a declaration that names another
// team as its signer: the copied declaration must not be shown under that team's name.
Bundle impostor() {
    Bundle bundle;
    bundle.name = "Impostor.app";
    bundle.identifier = "com.example.impostor";
    bundle.executableName = "Impostor";
    bundle.seed = 25;
    bundle.files = {{"Resources/Lumora.plist", R"(<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0"><dict>
  <key>DeveloperName</key><string>Example Banking Ltd.</string>
  <key>CodeSignatureTeamIdentifier</key><string>EXAMPLE999</string>
  <key>ApplicationDescription</key><string>Shows the balance of your bank accounts</string>
  <key>Connections</key><array><dict>
    <key>Host</key><string>api.bank.example.com</string>
    <key>Purpose</key><string>Fetches your account balances</string>
  </dict></array>
</dict></plist>)"}};
    return bundle;
}

// Sandboxed, with the hardened runtime, and allowed no network access at all: the declared
// connections are ones the sandbox will not let happen, and the page says so beside each.
Bundle sandboxed() {
    Bundle bundle;
    bundle.name = "Sandboxed.app";
    bundle.identifier = "com.example.sandboxed";
    bundle.executableName = "Sandboxed";
    bundle.seed = 26;
    bundle.files = {{"Resources/Lumora.plist", R"(<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0"><dict>
  <key>DeveloperName</key><string>Example Photo Tools</string>
  <key>CodeSignatureTeamIdentifier</key><string>FIXTURE123</string>
  <key>ApplicationDescription</key><string>Shares photos with devices nearby</string>
  <key>Connections</key><array>
    <dict>
      <key>Host</key><string>photos.example.com</string>
      <key>Purpose</key><string>Uploads shared albums</string>
    </dict>
    <dict>
      <key>IsIncoming</key><true/>
      <key>Host</key><string>local-net</string>
      <key>NetworkProtocol</key><string>TCP</string>
      <key>Port</key><string>8080</string>
      <key>Purpose</key><string>Receives photos from devices nearby</string>
    </dict>
  </array>
</dict></plist>)"}};
    return bundle;
}

// Sandboxed and allowed connections both ways, but declaring only the incoming one it serves: the
// page notes at the top that the sandbox allows outgoing connections the declaration does not list.
Bundle sandboxedServer() {
    Bundle bundle;
    bundle.name = "SandboxedServer.app";
    bundle.identifier = "com.example.sandboxedserver";
    bundle.executableName = "SandboxedServer";
    bundle.seed = 27;
    bundle.files = {{"Resources/Lumora.plist", R"(<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0"><dict>
  <key>DeveloperName</key><string>Example Photo Tools</string>
  <key>CodeSignatureTeamIdentifier</key><string>FIXTURE123</string>
  <key>ApplicationDescription</key><string>Serves your photo library to devices nearby</string>
  <key>Connections</key><array><dict>
    <key>IsIncoming</key><true/>
    <key>Host</key><string>local-net</string>
    <key>NetworkProtocol</key><string>TCP</string>
    <key>Port</key><string>8443</string>
    <key>Purpose</key><string>Answers requests for photos from devices nearby</string>
  </dict></array>
  <key>Services</key><array><dict>
    <key>Identifier</key><string>webdav</string>
    <key>Purpose</key><string>Shares the photo library as a network folder</string>
  </dict></array>
</dict></plist>)"}};
    return bundle;
}

// Signs with the app sandbox and the hardened runtime, allowing outgoing connections when `client`
// (refusing them explicitly otherwise) and incoming ones when `server`.
FixtureSigner::Options sandboxedSigning(FixtureSigner::Options signing, bool client, bool server) {
    ZRPropertyListDictionary entitlements{
        {"com.apple.security.app-sandbox", ZRPropertyList::boolean(true)},
        {"com.apple.security.network.client", ZRPropertyList::boolean(client)},
        {"com.apple.security.files.user-selected.read-only", ZRPropertyList::boolean(true)}};
    if (server) {
        entitlements.set("com.apple.security.network.server", ZRPropertyList::boolean(true));
    }
    signing.entitlements = FixtureEntitlements::xmlBlob(entitlements);
    signing.derEntitlements = FixtureEntitlements::derBlob(entitlements);
    signing.extraFlags |= 0x10000;
    return signing;
}

void writeBytes(const fs::path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fputs("usage: lumora-make-examples SOURCE-EXAMPLES-DIRECTORY OUTPUT-DIRECTORY\n", stderr);
        return 2;
    }
    const fs::path sources = argv[1];
    const fs::path output = argv[2];
    fs::remove_all(output);
    fs::create_directories(output);

    const auto authority = FixtureCertificateHierarchy::make(-86400, 5 * 365 * 86400, demoAuthorityName);
    std::ofstream(output / "DemoCertificateAuthority.pem") << authority.root.pem();
    FixtureSigner::Options signing;
    signing.signer = &authority.developerIDLeaf;
    signing.chain = {&authority.intermediate, &authority.root};
    signing.teamIdentifier = FixtureCertificateHierarchy::teamIdentifier;

    FixtureBundleBuilder::write(output, textEditor(sources), signing);

    auto withoutDocument = plainApplication("Calculator", 21);
    withoutDocument.files.clear();
    FixtureBundleBuilder::write(output, withoutDocument, signing);

    const auto tampered = FixtureBundleBuilder::write(output, plainApplication("Tampered", 22), signing);
    std::ofstream(tampered / "Contents/Resources/Lumora.plist", std::ios::app)
        << "<!-- changed after signing -->\n";

    FixtureBundleBuilder::write(output, impostor(), signing);
    FixtureBundleBuilder::write(output, sandboxed(), sandboxedSigning(signing, false, false));
    FixtureBundleBuilder::write(output, sandboxedServer(), sandboxedSigning(signing, true, true));

    FixtureSigner::Options adhoc;
    adhoc.kind = FixtureSigner::Kind::adhoc;
    const auto unsignedApp = FixtureBundleBuilder::write(output, plainApplication("Unsigned", 23), adhoc);
    writeBytes(unsignedApp / "Contents/MacOS/Unsigned",
               FixtureSigner::makeUnsigned(FixtureMachOBuilder::Executable{}));

    FixtureMachOBuilder::Executable tool;
    tool.seed = 24;
    tool.infoPlist = R"(<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0"><dict>
  <key>CFBundleIdentifier</key><string>com.example.backup-agent</string>
  <key>Lumora</key><dict>
    <key>DeveloperName</key><string>Example Backup</string>
    <key>ApplicationDescription</key><string>Backs up your files to the cloud</string>
    <key>Connections</key><array><dict>
      <key>Host</key><string>backup.example.com</string>
      <key>NetworkProtocol</key><string>TCP</string>
      <key>Port</key><string>443</string>
      <key>Purpose</key><string>Uploads your backups</string>
    </dict></array>
    <key>Localizations</key><dict>
      <key>de</key><dict>
        <key>Backs up your files to the cloud</key><string>Sichert Ihre Dateien in der Cloud</string>
      </dict>
    </dict>
  </dict>
</dict></plist>)";
    auto toolSigning = signing;
    toolSigning.identifier = "com.example.backup-agent";
    writeBytes(output / "backup-agent", FixtureSigner::sign(tool, toolSigning));
    fs::permissions(output / "backup-agent",
                    fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec,
                    fs::perm_options::add);
    std::printf("examples written to %s\n", output.c_str());
    return 0;
}
