#include "Support/CodeSigningFixtures.h"
#include "ZRFoundation/CodeSigning/ZRCertificate.h"
#include "ZRFoundation/CodeSigning/ZRTrustEvaluator.h"

#include <gtest/gtest.h>

#include <openssl/x509.h>

namespace {

using namespace CodeSigningFixtures;

std::time_t asTime(const ASN1_TIME* time) {
    std::tm parts{};
    EXPECT_EQ(ASN1_TIME_to_tm(time, &parts), 1);
    return ::timegm(&parts);
}

struct Chain {
    ZRCertificate leaf = *ZRCertificate::fromDER(hierarchy().developerIDLeaf.der());
    ZRCertificate intermediate = *ZRCertificate::fromDER(hierarchy().intermediate.der());
    std::time_t notBefore = asTime(X509_get0_notBefore(leaf.x509()));
    std::time_t notAfter = asTime(X509_get0_notAfter(leaf.x509()));

    ZRTrustEvaluator::Evaluation evaluate(const ZRTrustEvaluator& evaluator,
                                          std::optional<std::time_t> time) const {
        return evaluator.evaluate(leaf.x509(), {intermediate.x509()}, time);
    }
};

// Evaluations are remembered process-wide; each answer below must be the one a fresh evaluation
// gives, whatever was asked before.
TEST(TrustEvaluator, ARememberedEvaluationNeverAnswersForAnotherTime) {
    const Chain chain;
    const ZRTrustEvaluator evaluator(fixtureAnchors());
    const std::time_t inside = chain.notBefore + 3600;
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        const auto valid = chain.evaluate(evaluator, inside);
        EXPECT_EQ(std::tuple(valid.status, valid.extraAnchored, valid.expired, valid.chain.size()),
                  std::tuple(ZROSStatus::success, true, false, 3U));
        // Both ends of the validity period belong to it.
        for (const auto& [time, status] : {std::pair{chain.notAfter + 1, ZROSStatus::trustCertificateExpired},
                                           {chain.notBefore - 1, ZROSStatus::trustCertificateNotValidYet},
                                           {chain.notAfter, ZROSStatus::success},
                                           {chain.notBefore, ZROSStatus::success}}) {
            EXPECT_EQ(chain.evaluate(evaluator, time).status, status) << time;
        }
    }
    // Without a secure time an expired chain is tolerated and says so.
    EXPECT_EQ(chain.evaluate(evaluator, std::nullopt).status, ZROSStatus::success);
}

TEST(TrustEvaluator, RemembersEvaluationsPerSetOfAnchors) {
    const Chain chain;
    const std::time_t inside = chain.notBefore + 7200;
    EXPECT_TRUE(chain.evaluate(ZRTrustEvaluator(fixtureAnchors()), inside).anchored());
    const auto unanchored = chain.evaluate(ZRTrustEvaluator(), inside);
    EXPECT_FALSE(unanchored.anchored());
    EXPECT_FALSE(unanchored.trustErrorDescription.empty());
    EXPECT_TRUE(chain.evaluate(ZRTrustEvaluator(fixtureAnchors()), inside).anchored());

    // The same leaf without its intermediate is another question.
    const ZRTrustEvaluator evaluator(fixtureAnchors());
    EXPECT_FALSE(evaluator.evaluate(chain.leaf.x509(), {}, inside).anchored());
}

} // namespace
