// Reading one line the bridge wrote into a message, strictly: an answer envelope or a
// "changed" message and nothing else. Anything else raises ProtocolFault.
import { ProtocolFault } from "./errors.js";
import { entities, failureCodes, isOneOf, type Entity, type FailureCode } from "./wire-names.js";

/** The longest JSON text the bridge writes for one message, in UTF-8 bytes. */
export const maxLineLength = 262144;

export type Message =
  | { kind: "success"; id: string; result: Record<string, unknown> }
  | { kind: "failure"; id: string | null; code: FailureCode; message: string }
  | { kind: "changed"; entity: Entity };

export function isObject(value: unknown): value is Record<string, unknown> {
  return typeof value === "object" && value !== null && !Array.isArray(value);
}

function hasExactly(value: Record<string, unknown>, keys: readonly string[]): boolean {
  const own = Object.keys(value);
  return own.length === keys.length && keys.every((key) => Object.hasOwn(value, key));
}

export function readMessage(line: string): Message {
  let value: unknown;
  try {
    value = JSON.parse(line);
  } catch {
    throw new ProtocolFault("a line that is not JSON");
  }
  if (!isObject(value)) throw new ProtocolFault("a line that is not a JSON object");
  if (hasExactly(value, ["entity", "event"])) return readChanged(value);
  if (value.ok === true && hasExactly(value, ["id", "ok", "result"])) return readSuccess(value);
  if (value.ok === false && hasExactly(value, ["error", "id", "ok"])) return readFailure(value);
  throw new ProtocolFault("a message that is neither an answer nor a change");
}

function readChanged(value: Record<string, unknown>): Message {
  const entity = value.entity;
  if (value.event !== "changed" || !isOneOf<Entity>(entities, entity)) {
    throw new ProtocolFault("a change message for no known source");
  }
  return { kind: "changed", entity };
}

function readSuccess(value: Record<string, unknown>): Message {
  if (typeof value.id !== "string" || !isObject(value.result)) {
    throw new ProtocolFault("a success answer without id or result");
  }
  return { kind: "success", id: value.id, result: value.result };
}

function readFailure(value: Record<string, unknown>): Message {
  const error = value.error;
  const id = value.id;
  if (
    (typeof id !== "string" && id !== null) ||
    !isObject(error) ||
    !hasExactly(error, ["code", "message"]) ||
    typeof error.code !== "string" ||
    typeof error.message !== "string"
  ) {
    throw new ProtocolFault("a failure answer without id, code or message");
  }
  if (!isOneOf<FailureCode>(failureCodes, error.code)) {
    throw new ProtocolFault(`a failure answer with the unknown code ${JSON.stringify(error.code)}`);
  }
  return { kind: "failure", id, code: error.code, message: error.message };
}
