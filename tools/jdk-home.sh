# Sourced by every script that runs a JDK tool: the one place that picks the JDK, the same way the
# build does (VISTAL_JDK_HOME, else JAVA_HOME, else Debian's default JDK). Sets `jdk`.
jdk=${VISTAL_JDK_HOME:-${JAVA_HOME:-/usr/lib/jvm/java-17-openjdk-amd64}}
