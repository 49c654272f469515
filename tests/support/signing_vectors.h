// Written by make_signing_vectors.sh with the openssl command line; do not edit.
#pragma once
// clang-format off

namespace morvane::test::vectors {

// Public keys as a publisher prints them for [Signatur].
inline constexpr char kPublicKey[] = "MFkwEwYHKoZIzj0CAQYIKoZIzj0DAQcDQgAEFFZVLeDqthTlPn42pL/RX9JLsbKpvKq93a5f9QiOjSQGkAn1auvfsgsiTAF3Wbv1oOkVaghUmGmk9CeqKrgjUg==";
inline constexpr char kOtherPublicKey[] = "MFkwEwYHKoZIzj0CAQYIKoZIzj0DAQcDQgAEpcHwJmzcqcdewujN5XltPd8jW+vrmurfNDkQTV5KO6REiwGZPCssrLR4a8Y0gCP5bTg0/60tBpBHuqGzUWcA7g==";
inline constexpr char kP384PublicKey[] = "MHYwEAYHKoZIzj0CAQYFK4EEACIDYgAE8sN2rZpk8v9gWa8cGUmEmQhHTXDqzTuhRukJv3u7/Ty+bbz49l7awzUdmwTU95TaWXKa/gd1BM50mBlIi+d4NEIf8wA0aV5qhG5jQ/5DOvFntWneXenDfWW64k5hiX4Z";
inline constexpr char kSecp256k1PublicKey[] = "MFYwEAYHKoZIzj0CAQYFK4EEAAoDQgAEo08dluIP+Ej8Nw2wpvChEk8ecw2xCbHSw8ZA+ffLcJZccdQ8H18aBFeOTbE02tZbWUZOO5ysFyRNwkviR5I3CQ==";
inline constexpr char kRsaPublicKey[] = "MIGfMA0GCSqGSIb3DQEBAQUAA4GNADCBiQKBgQDF3fdyXOcXsTd+tC9Bnu0PNkbOBsWOsH3wzpY9PSklxL318u6djO66VfqQMu9SMQhhUK87vklv/HuHo8xQrpqlkjI3LDosoFeBTh6fzK2Q+67peb4iqLv5lm5gFaljYUO03S84uIrllPRCtQvCRMcbwGnk6WepX5laHUbpqvSm2wIDAQAB";

// The signed texts and DER signatures (hex) by kPublicKey unless named otherwise.
inline constexpr char kText[] = "[Version]\r\n2.05\r\n";
inline constexpr char kOtherText[] = "[Version]\r\n9.99\r\n";
inline constexpr char kSignature[] = "304402204ebf4097fa59a7a98c5cdb72feddf8f41a3110b6a3b9f63f2416af4e997b7e0902204a24996b01095b536c3f3676765618de6a8d0b9a99f4ab7d7a9cd4ecd086f593";
inline constexpr char kShortRSignature[] = "3044021f1bbfd89f2b56f2f981ddd8dd50ff0613feeb83de57489458d450a17a1491f40221009e673b61c11cb4d3a47e8aa4c9074e952caf1fee57133040a18734304d26e27a";
inline constexpr char kOtherTextSignature[] = "304502200e346f9990eaf0c0d7d1337176a3e96379405f06274bdd5755efbe3f46b976f8022100addd3c0f80ffc00bb1f177ba51ddc3cc0bce7ce0af3db67c291fa2ef544200c5";
inline constexpr char kOtherKeySignature[] = "304402202d3755ba93919b238a4ebd74ce8b00dcb74e306a3fdbf8845e09e5b0f8835bce02200fa724f8336274ff1180ed1a1243b99b575ccb82a900e513fdea8c2f3fd2f7c7";

// kSignature with r or s replaced: zero, the group order, beyond 256 bits,
// or a needless leading zero byte.
inline constexpr char kRZeroSignature[] = "302502010002204a24996b01095b536c3f3676765618de6a8d0b9a99f4ab7d7a9cd4ecd086f593";
inline constexpr char kSZeroSignature[] = "302502204ebf4097fa59a7a98c5cdb72feddf8f41a3110b6a3b9f63f2416af4e997b7e09020100";
inline constexpr char kROrderSignature[] = "3045022100ffffffff00000000ffffffffffffffffbce6faada7179e84f3b9cac2fc63255102204a24996b01095b536c3f3676765618de6a8d0b9a99f4ab7d7a9cd4ecd086f593";
inline constexpr char kSOrderSignature[] = "304502204ebf4097fa59a7a98c5cdb72feddf8f41a3110b6a3b9f63f2416af4e997b7e09022100ffffffff00000000ffffffffffffffffbce6faada7179e84f3b9cac2fc632551";
inline constexpr char kRPlusOrderSignature[] = "30450221014ebf4096fa59a7aa8c5cdb72feddf8f3d7180b644ad194c417d07a1195dea35a02204a24996b01095b536c3f3676765618de6a8d0b9a99f4ab7d7a9cd4ecd086f593";
inline constexpr char kSOver256BitsSignature[] = "304502204ebf4097fa59a7a98c5cdb72feddf8f41a3110b6a3b9f63f2416af4e997b7e090221014a24996b01095b536c3f3676765618de6a8d0b9a99f4ab7d7a9cd4ecd086f593";
inline constexpr char kRPaddedSignature[] = "30450221004ebf4097fa59a7a98c5cdb72feddf8f41a3110b6a3b9f63f2416af4e997b7e0902204a24996b01095b536c3f3676765618de6a8d0b9a99f4ab7d7a9cd4ecd086f593";

// Signed revision descriptions and the contents of their files.
inline constexpr char kNewWorkbook[] = "neue Mappe 2.04";
inline constexpr char kNewTemplate[] = "neue Vorlage 2.04";
inline constexpr char kRelease[] = "[Version]\r\n2.04\r\n[Titel]\r\nMorvane-Aktualisierung 2.04\r\n[Msg-Typ]\r\n1\r\n[Beschreibung]\r\nNeue Auswertung der Quartalszahlen\r\n[Datei 1]\r\nQuelle = dateien/Auswertung.xlsm\r\nZiel = Auswertung.xlsm\r\nSHA256 = 4ad410d6bf113842ccee95b3d04c1fcbba1fce8bcffd8ae2ca02d8e8209d8d98\r\n[Datei 2]\r\nQuelle = dateien/vorlagen/Bericht.xltx\r\nZiel = Vorlagen\\Bericht.xltx\r\nSHA256 = D9575E16D7E424CAC6E5AE5167F47E33442456B91203FF415F507749CD4CF36A\r\n[Startdatei]\r\nAuswertung.xlsm\r\n";
inline constexpr char kReleaseSignature[] = "30450221009a4118364b3b7ec69d7a67492ccfe2f31c1006064d55d1d5ad58bf6d19cab1dd02202da254c21eae3c9584be427ab8fa8951ba8658cb735ff3f504fe22f7a3b9e06b";
inline constexpr char kUnhashedRelease[] = "[Version]\r\n2.04\r\n[Titel]\r\nMorvane-Aktualisierung 2.04\r\n[Msg-Typ]\r\n1\r\n[Beschreibung]\r\nNeue Auswertung der Quartalszahlen\r\n[Datei 1]\r\nQuelle = dateien/Auswertung.xlsm\r\nZiel = Auswertung.xlsm\r\nSHA256 = 4ad410d6bf113842ccee95b3d04c1fcbba1fce8bcffd8ae2ca02d8e8209d8d98\r\n[Datei 2]\r\nQuelle = dateien/vorlagen/Bericht.xltx\r\nZiel = Vorlagen\\Bericht.xltx\r\n[Startdatei]\r\nAuswertung.xlsm\r\n";
inline constexpr char kUnhashedReleaseSignature[] = "3045022001c2ac24913b008a2dc87bb97c23d4796453014ac9675a4b7d159b04c506a52b022100cb6d089e968e712c6800d26f20cef0a131489f978ca2ba6bc00e29b409e904d5";
inline constexpr char kOlderRelease[] = "[Version]\r\n2.03\r\n[Titel]\r\nMorvane-Aktualisierung 2.03\r\n[Msg-Typ]\r\n1\r\n[Beschreibung]\r\nNeue Auswertung der Quartalszahlen\r\n[Datei 1]\r\nQuelle = dateien/Auswertung.xlsm\r\nZiel = Auswertung.xlsm\r\nSHA256 = 6f27803bc3af129d6aef140df38c57b76ea0b15dcefb99ff036181045896e186\r\n[Datei 2]\r\nQuelle = dateien/vorlagen/Bericht.xltx\r\nZiel = Vorlagen\\Bericht.xltx\r\nSHA256 = 45e9c633d0003d2e16778d71511871e771bba4973902a2057bbbd9fd080708e4\r\n[Startdatei]\r\nAuswertung.xlsm\r\n";
inline constexpr char kOlderReleaseSignature[] = "3046022100e59672e2aa52fc45316c8dddd34ce0d93eac55bb7a8bfb0c0a6a94781692f074022100e6976a88b57879be5d425240905306488358c2e8a543c4fb4d2beed643eff4a9";

// A release with a new updater program, signed by kUpdaterReleaseKey.
inline constexpr char kNewUpdater[] = "neues Programm 2.04";
inline constexpr char kUpdaterReleaseKey[] = "MFkwEwYHKoZIzj0CAQYIKoZIzj0DAQcDQgAEX2FeXLLHMurLS2r3FT4vpFzf3QAgpXLR1ly5CuEOjgT3IU+2k5frYO0sg7xTEKooAXTeRb41JuEyEznI880IVQ==";
inline constexpr char kUpdaterRelease[] = "[Version]\r\n2.04\r\n[Titel]\r\nMorvane-Aktualisierung 2.04\r\n[Msg-Typ]\r\n0\r\n[Beschreibung]\r\nNeues Aktualisierungsprogramm\r\n[Datei 1]\r\nQuelle = dateien/Auswertung.xlsm\r\nZiel = Auswertung.xlsm\r\nSHA256 = 4ad410d6bf113842ccee95b3d04c1fcbba1fce8bcffd8ae2ca02d8e8209d8d98\r\n[Datei 2]\r\nQuelle = dateien/Updater.exe\r\nZiel = Updater.exe\r\nSHA256 = 105c6265588862a148e5a9d36e113fd84ca9bf14d0b63cb44f26bece8d9c085a\r\n[Startdatei]\r\nAuswertung.xlsm\r\n";
inline constexpr char kUpdaterReleaseSignature[] = "304502206c9634ce0a48bc924b97905fdb0c458a2e1729b79a068de1bcc21bc6755fad75022100c77b35c7567fc740d92b49129439b72206320400d600b50d077b7d6739721493";

}  // namespace morvane::test::vectors
