#include "Code/Model/LumoraDeclarationFile.h"
#include "Code/Model/LumoraSource.h"
#include "Support/Thrown.h"

#include <gtest/gtest.h>

namespace {

using Source = Lumora::Source;
using Key = Source::Key;
using ParseError = Source::ParseError;
using Rule = Lumora::ConnectionDescription::HostMatchingRule;
using Relevance = Lumora::ConnectionDescription::Relevance;

ZRPropertyList text(const char* value) {
    return ZRPropertyList::string(value);
}

using Entries = std::initializer_list<ZRPropertyListDictionary::Entry>;

ZRPropertyListDictionary with(ZRPropertyListDictionary dictionary, Entries extra) {
    for (const auto& [key, value] : extra) {
        dictionary.set(key, value);
    }
    return dictionary;
}

ZRPropertyListDictionary document(Entries extra) {
    return with({{"ApplicationDescription", text("Edits text")}}, extra);
}

// A document with one connection, to example.com, with the given extra entries.
ZRPropertyListDictionary documentWithConnection(Entries extra) {
    const auto connection =
        with({{"Host", text("example.com")}, {"Purpose", text("Checks for updates")}}, extra);
    return document({{"Connections", ZRPropertyList::array({ZRPropertyList::dictionary(connection)})}});
}

std::shared_ptr<const Source> parse(const ZRPropertyListDictionary& dictionary,
                                    std::optional<LumoraStringTable> table = std::nullopt,
                                    std::optional<std::string> parentName = std::nullopt) {
    return Source::makeFromEmbeddedDictionary(
        Source::SourceType::internal, ZRURL::fileURL("/Applications/Editor.app", true),
        ZRURL::fileURL("/Applications/Editor.app/Contents/Resources/Lumora.plist", false),
        std::string("Signer Ltd"), std::move(parentName), dictionary, std::move(table));
}

std::string errorOf(const ZRPropertyListDictionary& dictionary) {
    try {
        parse(dictionary);
    } catch (const ParseError& error) {
        return error.errorDescription();
    }
    return "no error";
}

Lumora::ConnectionDescription onlyConnection(Entries extra) {
    const auto source = parse(documentWithConnection(extra));
    EXPECT_EQ(source->connectionDescriptions().size(), 1U);
    return source->connectionDescriptions().at(0);
}

TEST(LumoraSourceParser, ReadsTheTopLevelKeys) {
    const auto source = parse(document({{"DeveloperName", text("Example Inc.")},
                                        {"Website", text("https://example.com/app")},
                                        {"CodeSignatureTeamIdentifier", text("ABCDE12345")},
                                        {"SomethingElse", ZRPropertyList::integer(7)}}));
    EXPECT_EQ(source->developerName(), "Example Inc.");
    EXPECT_EQ(source->developerWebsiteURL()->absoluteString(), "https://example.com/app");
    EXPECT_EQ(source->localizedPurpose(), "Edits text.");
    EXPECT_TRUE(source->connectionDescriptions().empty());
    EXPECT_EQ(source->requiredCodeSignatureSource(),
              Lumora::CodeSignatureSource::teamIdentifier("ABCDE12345"));
}

TEST(LumoraSourceParser, FillsDefaultsForOptionalKeys) {
    const auto source = parse(document({{"Website", text("not a url")}}));
    EXPECT_EQ(source->developerName(), "Signer Ltd");
    EXPECT_FALSE(source->developerWebsiteURL().has_value());
    EXPECT_FALSE(source->requiredCodeSignatureSource().has_value());
    const auto signer = [](const char* team) {
        return parse(document({{"CodeSignatureTeamIdentifier", text(team)}}))->requiredCodeSignatureSource();
    };
    EXPECT_FALSE(signer(""));
    EXPECT_TRUE(signer("Apple")->isApple());
    EXPECT_EQ(signer("apple"), Lumora::CodeSignatureSource::teamIdentifier("apple"));

    const auto description = onlyConnection({});
    EXPECT_FALSE(description.isIncoming() || description.networkProtocol() ||
                 description.localizedDenyConsequences());
    EXPECT_TRUE(description.ports().isAllPorts());
    EXPECT_EQ(description.relevance(), Relevance::default_);
}

TEST(LumoraSourceParser, ChecksTheVersionAndReportsMissingAndMistypedValuesByCaseName) {
    const auto connections = [](ZRPropertyListDictionary connection) {
        return document(
            {{"Connections", ZRPropertyList::array({ZRPropertyList::dictionary(std::move(connection))})}});
    };
    const std::pair<ZRPropertyListDictionary, std::string> cases[] = {
        {document({{"LumoraDictionaryVersion", text("1.0")}}), "no error"},
        {document({{"LumoraDictionaryVersion", text("1.1")}}),
         "Version mismatch: expected version 1.0, but got 1.1"},
        {document({{"LumoraDictionaryVersion", ZRPropertyList::integer(1)}}),
         "Invalid value for key dictionaryVersion: 1"},
        {{}, "Required value for key applicationDescription is missing"},
        {connections({{"Host", text("example.com")}}), "Required value for key purpose is missing"},
        {connections({{"Purpose", text("x")}}), "Required value for key host is missing"},
        {documentWithConnection({{"Port", ZRPropertyList::integer(443)}}), "Invalid value for key port: 443"},
        {documentWithConnection({{"IsIncoming", text("yes")}}), "Invalid value for key isIncoming: yes"},
        {document({{"Connections", ZRPropertyList::dictionary({})}}),
         "Invalid value for key connections: {}"},
        {document({{"Services", ZRPropertyList::array({text("a"), ZRPropertyList::integer(2)})}}),
         "Invalid value for key services: (a, 2)"},
    };
    for (const auto& [dictionary, error] : cases) {
        EXPECT_EQ(errorOf(dictionary), error);
    }
    const auto error = thrownBy<ParseError>([] {
        parse(documentWithConnection({{"Relevance", text("Critical")}}));
    });
    EXPECT_EQ(std::tuple(error.value().errorCase(), error->key(), error->value()),
              std::tuple(ParseError::Case::invalidValue, Key::relevance, text("Critical")));
}

TEST(LumoraSourceParser, MapsHostPatternsToRules) {
    auto rules = onlyConnection({{"Host", text(" example.com , *.example.net,,\t=*.example.org ")}})
                     .hostMatchingRules();
    EXPECT_EQ(rules, (std::vector<Rule>{Rule::host("example.com"), Rule::fuzzyDomainWildcard("example.net"),
                                        Rule::exactDomainWildcard("example.org")}));

    // A network and the same addresses as a range are the same rule.
    const auto addresses = [](const char* text) {
        return Rule::ipAddresses(*NQIPAddressSet::addressSetFromDisplayString(text));
    };
    EXPECT_EQ(onlyConnection({{"Host", text("192.0.2.1, local-net, bpf, BPF, *, =*, 10.0.0.0/8")}})
                  .hostMatchingRules(),
              (std::vector<Rule>{addresses("192.0.2.1"), Rule::localNetwork(), Rule::berkeleyPacketFilter(),
                                 Rule::host("BPF"), Rule::fuzzyAnyConnectionWildcard(),
                                 Rule::exactAnyConnectionWildcard(), addresses("10.0.0.0-10.255.255.255")}));

    EXPECT_EQ(errorOf(documentWithConnection({{"Host", text(" , ,\u00a0, ")}})),
              "Invalid value for key host:  , ,\u00a0, ");
}

// A control or format character hides in the name as shown: "b\u200b.example.com" reads as
// "b.example.com". Wherever it stands in a name or pattern, the host value is refused.
TEST(LumoraSourceParser, RefusesControlAndFormatCharactersInHostNames) {
    // NUL, line feed, unit separator, delete, next line, application program command, soft hyphen,
    // zero-width space and joiner, left-to-right mark, right-to-left override, left-to-right isolate,
    // byte order mark and a language tag.
    for (const std::string& c :
         {std::string(1, '\0'), std::string("\n"), std::string("\x1F"), std::string("\x7F"),
          std::string("\u0085"), std::string("\u009F"), std::string("\u00AD"), std::string("\u200B"),
          std::string("\u200D"), std::string("\u200E"), std::string("\u202E"), std::string("\u2066"),
          std::string("\uFEFF"), std::string("\U000E0001")}) {
        for (const std::string& hostText :
             {"b" + c + ".example.com", "example.com, *.b" + c + ".example.net", "=*." + c + "example.org",
              "example.com" + c, c + "example.com"}) {
            EXPECT_EQ(errorOf(documentWithConnection({{"Host", ZRPropertyList::string(hostText)}})),
                      "Invalid value for key host: " + hostText);
        }
    }
}

TEST(LumoraSourceParser, KeepsInternationalisedHostNames) {
    for (const std::string hostText :
         {"b\u00FCcher.example", "\u4F8B\u3048.\u30C6\u30B9\u30C8",
          "*.\u043F\u0440\u0438\u043C\u0435\u0440.\u0440\u0444",
          "=*.\u0645\u062B\u0627\u0644.\u0625\u062E\u062A\u0628\u0627\u0631",
          "\u0909\u0926\u093E\u0939\u0930\u0923.\u092A\u0930\u0940\u0915\u094D\u0937\u093E",
          "xn--bcher-kva.example"}) {
        const auto rules = onlyConnection({{"Host", ZRPropertyList::string(hostText)}}).hostMatchingRules();
        ASSERT_EQ(rules.size(), 1U) << hostText;
        EXPECT_NE(rules[0].kind(), Rule::Kind::ipAddresses) << hostText;
    }
    // White space around a name, a tab among it, is not part of it.
    EXPECT_EQ(onlyConnection({{"Host", text("\ta.example ,\u00A0b.example")}}).hostMatchingRules(),
              (std::vector<Rule>{Rule::host("a.example"), Rule::host("b.example")}));
}

TEST(LumoraSourceParser, ParsesPortLists) {
    for (const auto& [list, shown] : {std::pair{"80, 443, 8000-8080", "80, 443, 8000-8080"},
                                      {"443,*", "*"},
                                      {"*", "*"},
                                      {"+22", "22"},
                                      {" 1 - 3 ,\u20030, 65535", "0-3, 65535"}}) {
        EXPECT_EQ(onlyConnection({{"Port", text(list)}}).ports().displayString(), shown) << list;
    }
    // An empty element is reported as itself, not as the whole list.
    EXPECT_EQ(errorOf(documentWithConnection({{"Port", text("80,,443")}})), "Invalid value for key port: ");
    for (const char* port : {"80-80", "90-80", "70000", "1-2-3", "8 0", "-5", "0x50"}) {
        EXPECT_EQ(errorOf(documentWithConnection({{"Port", text(port)}})),
                  std::string("Invalid value for key port: ") + port);
    }
}

TEST(LumoraSourceParser, ParsesProtocolAndRelevanceCaseInsensitively) {
    EXPECT_EQ(onlyConnection({{"NetworkProtocol", text("udp")}}).networkProtocol(), NetworkProtocol::udp);
    EXPECT_EQ(onlyConnection({{"NetworkProtocol", text("Icmp")}}).networkProtocol(), NetworkProtocol::icmp);
    EXPECT_FALSE(onlyConnection({{"NetworkProtocol", text("*")}}).networkProtocol().has_value());
    EXPECT_EQ(errorOf(documentWithConnection({{"NetworkProtocol", text("SCTP")}})),
              "Invalid value for key networkProtocol: SCTP");
    EXPECT_EQ(onlyConnection({{"Relevance", text("ESSENTIAL")}}).relevance(), Relevance::essential);
    EXPECT_EQ(onlyConnection({{"Relevance", text("analytics")}}).relevance(), Relevance::analytics);
    EXPECT_EQ(onlyConnection({{"Relevance", text("Default")}}).relevance(), Relevance::default_);
    EXPECT_TRUE(onlyConnection({{"IsIncoming", ZRPropertyList::boolean(true)}}).isIncoming());
}

TEST(LumoraSourceParser, LocalizesSentencesAndTheApplicationName) {
    const LumoraStringTable table{{"Checks for updates", "Sucht nach Updates"},
                                  {"Edits text", "Bearbeitet Text für %APPNAME%"},
                                  {"Why?", "Warum?"}};
    const auto source = parse(documentWithConnection({{"DenyConsequences", text("Why?")}}), table, "Editor");
    EXPECT_EQ(source->localizedPurpose(), "Bearbeitet Text für Editor.");
    EXPECT_EQ(source->connectionDescriptions()[0].localizedPurpose(), "Sucht nach Updates.");
    EXPECT_EQ(source->connectionDescriptions()[0].localizedDenyConsequences(), "Warum?.");

    const auto primary = parse(document({{"ApplicationDescription", text("Part of %APPNAME%.")}}));
    EXPECT_EQ(primary->localizedPurpose(), "Part of %APPNAME%.");
}

class ThrowingTableProvider : public LumoraLocalizationTableProvider {
public:
    std::optional<LumoraStringTable> localizationTable(std::string_view tableName,
                                                       const std::vector<std::string>& fallbacks) override {
        ++asked;
        EXPECT_EQ(tableName, "Lumora");
        EXPECT_EQ(fallbacks, std::vector<std::string>{"en"});
        if (fail) {
            throw std::runtime_error("unreadable");
        }
        return LumoraStringTable{{"Edits text", "Edits text nicely"}};
    }
    int asked = 0;
    bool fail = false;
};

TEST(LumoraSourceParser, AsksTheTableProviderOnceAndSurvivesItsFailure) {
    ThrowingTableProvider provider;
    const auto url = ZRURL::fileURL("/Applications/Editor.app", true);
    auto source = Source::makeFromBundleDictionary(Source::SourceType::internal, url, url, std::nullopt,
                                                   std::nullopt, documentWithConnection({}), &provider);
    EXPECT_EQ(source->localizedPurpose(), "Edits text nicely.");
    EXPECT_EQ(provider.asked, 1);

    provider.fail = true;
    source = Source::makeFromBundleDictionary(Source::SourceType::internal, url, url, std::nullopt,
                                              std::nullopt, documentWithConnection({}), &provider);
    EXPECT_EQ(source->localizedPurpose(), "Edits text.");
}

TEST(LumoraSourceParser, KeepsNamedServicesAndDropsUnknownIdentifiers) {
    const auto service = [](std::initializer_list<ZRPropertyListDictionary::Entry> entries) {
        return ZRPropertyList::dictionary(ZRPropertyListDictionary(entries));
    };
    const auto source = parse(document(
        {{"Services",
          ZRPropertyList::array({service({{"Purpose", text("Shares files")}, {"Name", text("Share")}}),
                                 service({{"Purpose", text("Nothing")}, {"Identifier", text("zz-unknown")}}),
                                 service({{"Purpose", text("Nameless")}})})}}));
    ASSERT_EQ(source->serviceDescriptions().size(), 1U);
    const auto& share = source->serviceDescriptions()[0];
    EXPECT_EQ(std::tuple(share.localizedName(), share.localizedPurpose(), share.identifier()),
              std::tuple("Share", "Shares files.", std::nullopt));

    EXPECT_EQ(errorOf(document({{"Services", ZRPropertyList::array({service({{"Name", text("x")}})})}})),
              "Required value for key purpose is missing");
}

// Whatever the top level holds besides a dictionary, the file is reported as no dictionary (the
// reader itself accepts each of these).
TEST(LumoraDeclarationFile, RefusesEveryTopLevelValueButADictionary) {
    const std::string plist = "<?xml version=\"1.0\"?><plist version=\"1.0\">";
    const std::pair<std::string, bool> files[] = {
        {plist + "<array><string>a</string></array></plist>", false},
        {plist + "<string>a</string></plist>", false},
        {plist + "<integer>7</integer></plist>", false},
        {plist + "<data>AAEC</data></plist>", false},
        {"(a, b)", false},
        {"[1, 2]", true},
        {"\"a\"", true},
        {"7", true},
    };
    for (const auto& [contents, isJSON] : files) {
        const auto read = LumoraDeclarationFile::readDeclaration(
            std::span(reinterpret_cast<const std::uint8_t*>(contents.data()), contents.size()), isJSON);
        const auto* failure = std::get_if<LumoraDeclarationFile::ReadFailure>(&read);
        ASSERT_NE(failure, nullptr) << contents;
        EXPECT_EQ(failure->description, isJSON ? "JSON is not a dictionary" : "Plist is not a dictionary")
            << contents;
    }
}

TEST(LumoraModel, ConnectionDescriptionAlwaysHasARule) {
    const Lumora::ConnectionDescription description(false, {}, std::nullopt, PortSet::allPorts(),
                                                    Relevance::default_, "x.", std::nullopt);
    EXPECT_EQ(description.hostMatchingRules(), std::vector<Rule>{Rule::fuzzyAnyConnectionWildcard()});
}

} // namespace
