#include "pre_processor/vectorizer/text_forms.h"

#include <gtest/gtest.h>

namespace pre_processor {
namespace {

TEST(TextFormsTest, ParamsForms) {
  EXPECT_EQ(text_forms::native_params_repr({2, 4}, 1.0f, 0.9f, true),
            "NativeVectorizerParams(ngram_range=(2, 4), min_df=1, max_df=0.9, sublinear_tf=true)");
  EXPECT_EQ(text_forms::native_params_str({2, 4}, 1.0f, 0.9f, true),
            "NativeVectorizerParams { ngram_range: (2, 4), min_df: 1.0, max_df: 0.9, sublinear_tf: true }");
  EXPECT_EQ(text_forms::native_params_repr({1, 3}, 1e-5f, 2.5f, false),
            "NativeVectorizerParams(ngram_range=(1, 3), min_df=0.00001, max_df=2.5, sublinear_tf=false)");
  EXPECT_EQ(text_forms::native_params_str({1, 3}, 1e-5f, 2.5f, false),
            "NativeVectorizerParams { ngram_range: (1, 3), min_df: 1e-5, max_df: 2.5, sublinear_tf: false }");

  VectorizerParams params = *VectorizerParams::create(0.1f, 1.0f, false);
  EXPECT_EQ(text_forms::params_debug_form(params),
            "VectorizerParams { ngram_range: [2, 3, 4], min_df: 0.1, max_df: 1.0, sublinear_tf: false }");
  params.ngram_range.clear();
  EXPECT_EQ(text_forms::params_debug_form(params),
            "VectorizerParams { ngram_range: [], min_df: 0.1, max_df: 1.0, sublinear_tf: false }");
  EXPECT_EQ(text_forms::shape_debug_form(3, 0), "(3, 0)");
  EXPECT_EQ(text_forms::native_vectorizer_repr(1234), "NativeTfidfVectorizer(vocabulary_size=1234)");
}

TEST(TextFormsTest, VectorizerStructure) {
  TfidfVectorizer model{{*VectorizerParams::create(1.0f, 0.9f, true), {}}, {1.4054651f}};
  model.count_vectorizer.vocab.emplace(NgramKey::from_lanes({1, 2, 0, 0}), 0);
  EXPECT_EQ(text_forms::native_vectorizer_str(model),
            "NativeTfidfVectorizer {\n"
            "    inner: TfidfVectorizer {\n"
            "        count_vectorizer: CountVectorizer {\n"
            "            params: VectorizerParams {\n"
            "                ngram_range: [\n"
            "                    2,\n"
            "                    3,\n"
            "                    4,\n"
            "                ],\n"
            "                min_df: 1.0,\n"
            "                max_df: 0.9,\n"
            "                sublinear_tf: true,\n"
            "            },\n"
            "            vocab: {\n"
            "                NgramKey(\n"
            "                    8589934593,\n"
            "                ): 0,\n"
            "            },\n"
            "        },\n"
            "        idf: [\n"
            "            1.4054651,\n"
            "        ],\n"
            "    },\n"
            "}");

  TfidfVectorizer empty{{VectorizerParams{{}, 1e-5f, 2.0f, false}, {}}, {}};
  EXPECT_EQ(text_forms::native_vectorizer_str(empty),
            "NativeTfidfVectorizer {\n"
            "    inner: TfidfVectorizer {\n"
            "        count_vectorizer: CountVectorizer {\n"
            "            params: VectorizerParams {\n"
            "                ngram_range: [],\n"
            "                min_df: 1e-5,\n"
            "                max_df: 2.0,\n"
            "                sublinear_tf: false,\n"
            "            },\n"
            "            vocab: {},\n"
            "        },\n"
            "        idf: [],\n"
            "    },\n"
            "}");
}

TEST(TextFormsTest, U128Decimal) {
  EXPECT_EQ(text_forms::u128_decimal(0), "0");
  EXPECT_EQ(text_forms::u128_decimal(~static_cast<unsigned __int128>(0)),
            "340282366920938463463374607431768211455");
}

}  // namespace
}  // namespace pre_processor
