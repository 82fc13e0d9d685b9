#pragma once

// The file cipher: three C functions that turn a file into its password-encrypted form and back.
// Strings are NUL-terminated 8-bit text in writable buffers (never written to); the result is one
// byte, nonzero for success. The option integer is the caller's, holding 1; it is never read.
//
// Every result is written to a temporary file in the destination folder and renamed into place
// only when complete (for Decrypt, only after the last chunk has authenticated), so a failure
// leaves nothing new and a destination that names the source never loses its content.

#ifdef __cplusplus
extern "C" {
#endif

unsigned char Encrypt(char* sourcePath, char* destinationPath, char* password, int* option);
unsigned char Decrypt(char* sourcePath, char* destinationPath, char* password, int* option);
/// Encrypts a file in place (the batch run's "Encrypt with password").
unsigned char EncryptSrcPwd(char* path, char* password);

#ifdef __cplusplus
}
#endif
