// BridgeError, the one error a call rejects with, and the client's own failure texts.
import type { ExitInfo } from "./types.js";
import type { FailureCode } from "./wire-names.js";

/**
 * The failure codes a call can reject with: the bridge's own, plus "bridge_exited" (the
 * process ended before answering, or the client was closed) and "protocol_error" (the
 * process wrote something that is not the bridge's protocol).
 */
export type BridgeErrorCode = FailureCode | "bridge_exited" | "protocol_error";

export class BridgeError extends Error {
  /** The bridge's failure code, or "bridge_exited" / "protocol_error". */
  readonly code: BridgeErrorCode;
  /** For "bridge_exited" after the process ended: how it ended. */
  readonly exit: ExitInfo | undefined;

  constructor(code: BridgeErrorCode, message: string, exit?: ExitInfo) {
    super(message);
    this.name = "BridgeError";
    this.code = code;
    this.exit = exit;
  }
}

/** Raised while reading a line that is not valid protocol; the client turns it into "protocol_error". */
export class ProtocolFault extends Error {}

export function protocolError(reason: string): BridgeError {
  return new BridgeError("protocol_error", `The bridge broke its protocol: ${reason}.`);
}

export function closedError(): BridgeError {
  return new BridgeError("bridge_exited", "The bridge client was closed.");
}

/** The bridge's own answer to a request it refuses, used where the client refuses first. */
export function invalidRequest(): BridgeError {
  return new BridgeError("invalid_request", "Choose a supported personal-source request.");
}

export function exitedError(exit: ExitInfo, detail: string): BridgeError {
  const how =
    exit.signal !== null ? `signal ${exit.signal}` : exit.status !== null ? `status ${exit.status}` : "not started";
  const text = detail === "" ? "" : `: ${detail}`;
  return new BridgeError("bridge_exited", `The bridge ended (${how}) before answering${text}`, exit);
}
