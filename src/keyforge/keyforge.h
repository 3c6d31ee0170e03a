/* The key-pair library: a fresh RSA key, a certificate request for it, and the PFX file
 * of key and issued certificate, plus the readings the enrollment tasks need. A C ABI so
 * that it can be replaced without rebuilding the plug-in. Texts are NUL-terminated UTF-8;
 * every returned buffer comes from malloc and is freed by the caller with free. Nothing is
 * written to standard output. */
#ifndef QUILLBOX_KEYFORGE_H
#define QUILLBOX_KEYFORGE_H

#ifdef __cplusplus
extern "C" {
#endif

#define KEYFORGE_API __attribute__((visibility("default")))

/* Key lengths in bits; 0 means the default. */
#define KEYFORGE_DEFAULT_BITS 2048
#define KEYFORGE_MIN_BITS 2048
#define KEYFORGE_MAX_BITS 8192

/* A new RSA key (public exponent 65537) as an encrypted PKCS #8 PEM text (PBES2, AES-256-CBC,
 * PBKDF2 with HMAC-SHA-256). NULL for an empty password or a length outside the limits. */
KEYFORGE_API char* fnGenrsa(const char* password, int bits);

/* A PEM certificate request for the key, signed with SHA-256. subject: "/OID=value/..."; each
 * "/"-separated part is exactly one attribute; "\/" and "\\" inside a value stand for "/" and
 * "\". Unknown OIDs are added by their number. NULL on any failure. */
KEYFORGE_API char* fnCreateCertReq(const char* password, const char* keyPem, const char* subject);

/* A PKCS #12 file of the key and the certificate of certPem whose public key is the key's
 * (the other certificates go along as the chain), protected by pfxPassword. NULL when the key
 * cannot be read or no certificate belongs to it. */
KEYFORGE_API unsigned char* fnMakePfx(int* length, const char* keyPassword, const char* keyPem,
                                      const char* certPem, const char* pfxPassword);

/* 1 when the PFX opens with the password and holds a key and its certificate, else 0. */
KEYFORGE_API int fnCheckPfx(const unsigned char* pfx, int length, const char* password);

/* Outcomes of fnReadPrivateKey. */
#define KEYFORGE_OK 0
#define KEYFORGE_BAD_PASSWORD 1 /* a key is there, but the password does not open it */
#define KEYFORGE_NO_KEY 2       /* the text holds no readable key */

/* Reads an encrypted PEM key with the password; on KEYFORGE_OK *publicDer receives its public
 * key (DER SubjectPublicKeyInfo, malloc'd) and *publicLength its length. The decrypted key
 * never leaves the library and is cleared when freed. */
KEYFORGE_API int fnReadPrivateKey(const char* password, const char* keyPem,
                                  unsigned char** publicDer, int* publicLength);

/* The number of certificates in a PEM text. */
KEYFORGE_API int fnCertificateCount(const char* certPem);
/* The public key (DER SubjectPublicKeyInfo) of certificate index (from 0); NULL if none. */
KEYFORGE_API unsigned char* fnCertificatePublicKey(const char* certPem, int index, int* length);
/* The last common name in the subject of certificate index (UTF-8), the one the request task
 * names the key file by; NULL if there is none. */
KEYFORGE_API char* fnCertificateCommonName(const char* certPem, int index);

/* The most significant non-zero 32-bit word of an RSA public key's modulus; 0 on failure. */
KEYFORGE_API unsigned int fnModulusWord(const unsigned char* publicDer, int length);

#ifdef __cplusplus
}
#endif

#endif
