// Written by make_signing_vectors.sh with the openssl command line; do not edit.
#pragma once
// clang-format off

namespace morvane::test::vectors {

// Public keys as a publisher prints them for [Signatur].
inline constexpr char kPublicKey[] = "MFkwEwYHKoZIzj0CAQYIKoZIzj0DAQcDQgAEJbCqIe27AgG2UJKGGV27tYo8CeBB18ngQe7Zpo91tsmylFIJgTsXwDYiecgFnroa/fR5x4hazpPJTgzjKWS6Wg==";
inline constexpr char kOtherPublicKey[] = "MFkwEwYHKoZIzj0CAQYIKoZIzj0DAQcDQgAEoFzXT/t4DoVG9mcOMY7TZaW9NzSJ4+NiHmxLmxMFzbZeW4yUip0+uhY2IkO6LUuZV31X+9dQSMAeW0Ww6tvqnw==";
inline constexpr char kP384PublicKey[] = "MHYwEAYHKoZIzj0CAQYFK4EEACIDYgAE2vX3LxVemAU5plX0GnVhd393o6wmy3UdBSNQUXcRtZtM3dRXqPqyRkjIc9qa4AQPwpZuLqM63Lcl1F4JmFbFXqa4rBwRkS0dhBBKOS7DWsb0Y11C1MYfBGgo1E8FTbdu";
inline constexpr char kSecp256k1PublicKey[] = "MFYwEAYHKoZIzj0CAQYFK4EEAAoDQgAE3je2/fHEVv/+QWHyWhnrtCMYrdJtiipBkEpe0nUigsAn0ckLF7UJAMqqEzrwbHEqB6J+VgRkC34DtW1yiKdbyw==";
inline constexpr char kRsaPublicKey[] = "MIGfMA0GCSqGSIb3DQEBAQUAA4GNADCBiQKBgQDP0D+SZyzmJSmFl6q03FlgApNw951SYNaO/Kffwe7XGgUKDUHdxm5Wjm8gRorKJFLS/JlBa//X67h4BFc0BdGQWJIcdExZst7y0q6INUE4qp7dpvSrE203aEGO07rfIdbL2qqiPYMikfN7jXTkgVyuJ0gDHT4rPETwUsFnXVuVtQIDAQAB";

// The signed texts and DER signatures (hex) by kPublicKey unless named otherwise.
inline constexpr char kText[] = "[Version]\r\n2.05\r\n";
inline constexpr char kOtherText[] = "[Version]\r\n9.99\r\n";
inline constexpr char kSignature[] = "3044022051722d3503149a239d043a706fa3c8bfb115a76fce62f669407f6f7cbe55621c022039330ef9ed7d4bf735493bf37082f9bf79c2270bef7434475329707d93665d53";
inline constexpr char kShortRSignature[] = "3043021f48c4b0cfede9e1b1a6920f736d3d0a2eca3785c23dda0b59363685539480fd022071e3e723ea34611db0550a6dfd2efa7a62d093c9f7f3df6e0fa5245b35209571";
inline constexpr char kOtherTextSignature[] = "304402205cbe1122078da7782b635ba4893503f1a1c68de0e90d71bc4f590bbd7a4b837302200f971a4c89e6ff52f68dc4c1f2f2500f61fe15487ba4470deb264af6278441e0";
inline constexpr char kOtherKeySignature[] = "3046022100d39f56d81a2a8df1b2608261fdb8eb2c7041c45f302159ecad9eb76ed8201556022100db681b87da09baaa603cb45a22546254e9187fda58327338932b7d6fe1e6ac05";

// kSignature with r or s replaced: zero, the group order, beyond 256 bits,
// or a needless leading zero byte.
inline constexpr char kRZeroSignature[] = "3025020100022039330ef9ed7d4bf735493bf37082f9bf79c2270bef7434475329707d93665d53";
inline constexpr char kSZeroSignature[] = "3025022051722d3503149a239d043a706fa3c8bfb115a76fce62f669407f6f7cbe55621c020100";
inline constexpr char kROrderSignature[] = "3045022100ffffffff00000000ffffffffffffffffbce6faada7179e84f3b9cac2fc632551022039330ef9ed7d4bf735493bf37082f9bf79c2270bef7434475329707d93665d53";
inline constexpr char kSOrderSignature[] = "3045022051722d3503149a239d043a706fa3c8bfb115a76fce62f669407f6f7cbe55621c022100ffffffff00000000ffffffffffffffffbce6faada7179e84f3b9cac2fc632551";
inline constexpr char kRPlusOrderSignature[] = "304502210151722d3403149a249d043a706fa3c8bf6dfca21d757a94ee34393a3fbab8876d022039330ef9ed7d4bf735493bf37082f9bf79c2270bef7434475329707d93665d53";
inline constexpr char kSOver256BitsSignature[] = "3045022051722d3503149a239d043a706fa3c8bfb115a76fce62f669407f6f7cbe55621c02210139330ef9ed7d4bf735493bf37082f9bf79c2270bef7434475329707d93665d53";
inline constexpr char kRPaddedSignature[] = "304502210051722d3503149a239d043a706fa3c8bfb115a76fce62f669407f6f7cbe55621c022039330ef9ed7d4bf735493bf37082f9bf79c2270bef7434475329707d93665d53";

}  // namespace morvane::test::vectors
