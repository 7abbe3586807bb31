// The closed lists of names the wire protocol uses (protocol/pemrix-bridge.schema.json):
// sources, permission states and the bridge's failure codes. Each is written here once; the
// client's types derive from them and a name from the wire outside them is a protocol fault.

/** The three personal sources. */
export const entities = ["events", "reminders", "contacts"] as const;

/** Every permission state the bridge reports. */
export const permissionStates = [
  "notDetermined",
  "restricted",
  "denied",
  "fullAccess",
  "writeOnly",
  "limited",
  "unknown",
] as const;

/** Every failure code the bridge answers with. */
export const failureCodes = [
  "invalid_request",
  "busy",
  "timeout",
  "permission_required",
  "permission_unavailable",
  "source_unavailable",
  "source_missing",
] as const;

export type Entity = (typeof entities)[number];
export type PermissionState = (typeof permissionStates)[number];
export type FailureCode = (typeof failureCodes)[number];

/** True when `value` is one of `names`. */
export function isOneOf<Name extends string>(names: readonly Name[], value: unknown): value is Name {
  return (names as readonly unknown[]).includes(value);
}
