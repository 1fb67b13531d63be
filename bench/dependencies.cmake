# Libraries benchmarks compare against (for example OpenSSL's MD5). One block each.
