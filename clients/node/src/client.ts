// BridgeClient: the app's side of the bridge protocol. It starts the bridge on the first
// call and again on the first call after a process has ended, sends one request at a time
// in call order (so its own use never gets "busy"), pairs each answer with its request by
// id, and routes "changed" messages. A process that breaks the protocol is killed and
// everything waiting on it rejects with "protocol_error".
import { EventEmitter } from "node:events";
import { BridgeError, ProtocolFault, closedError, exitedError, invalidRequest, protocolError } from "./errors.js";
import { BridgeProcess } from "./process.js";
import * as decode from "./results.js";
import type {
  BridgeClientOptions,
  ContactItem,
  ContactQuery,
  Entity,
  EventItem,
  ExitInfo,
  PermissionState,
  Permissions,
  QueryResult,
  ReminderItem,
  SourceList,
  Timestamp,
  WindowQuery,
} from "./types.js";
import { readMessage, type Message } from "./wire.js";

type Fields = Record<string, unknown>;

/** One call: its request (without id) and how to settle it. */
interface Call {
  request: Fields;
  decode(result: Fields): unknown;
  resolve(value: unknown): void;
  reject(error: BridgeError): void;
  id?: string;
  /** Sent again once already, after a process ended without reading it. */
  resent: boolean;
}

export interface BridgeClient {
  /** A store reported a change: read that source again when it matters. */
  on(event: "changed", listener: (entity: Entity) => void): this;
  /** A bridge process ended (idle exit, "timeout", crash, close). The next call starts a new one. */
  on(event: "exit", listener: (exit: ExitInfo) => void): this;
  once(event: "changed", listener: (entity: Entity) => void): this;
  once(event: "exit", listener: (exit: ExitInfo) => void): this;
  off(event: "changed", listener: (entity: Entity) => void): this;
  off(event: "exit", listener: (exit: ExitInfo) => void): this;
}

export class BridgeClient extends EventEmitter {
  readonly #options: BridgeClientOptions;
  /** The process that calls are sent to, once started and until it ends or breaks protocol. */
  #process: BridgeProcess | undefined;
  /** Every process that has not yet ended, the current one included. */
  readonly #live = new Set<BridgeProcess>();
  /** The call sent to #process and not yet answered. */
  #running: Call | undefined;
  /** Calls not yet sent, in call order. */
  readonly #waiting: Call[] = [];
  #lastId = 0;
  #closed: Promise<void> | undefined;

  constructor(options: BridgeClientOptions) {
    super();
    this.#options = options;
  }

  /** The id of the running bridge process, if one is running. */
  get pid(): number | undefined {
    return this.#process?.pid;
  }

  /** The permission state of each source. */
  status(): Promise<Permissions> {
    return this.#call({ command: "status" }, decode.decodeStatus);
  }

  /**
   * Asks for access to one source and answers the state that results; a source that has
   * nothing to ask answers its current state at once. On macOS, a source in "notDetermined"
   * (or events in "writeOnly") shows the system's permission prompt, and the answer waits for
   * the user. On Linux desktops (evolution-data-server) there is no prompt: it always answers
   * the current state. In the simulator, the world's scripted access behaviour
   * (`accessRequests`) stands in for the user's answer to the prompt.
   */
  requestPermission(entity: Entity): Promise<PermissionState> {
    return this.#call({ command: "request-permission", entity }, decode.decodePermission);
  }

  /** The calendars, reminder lists or contact accounts the user can choose from. */
  listSources(entity: Entity): Promise<SourceList> {
    return this.#call({ command: "list-sources", entity }, decode.decodeSources);
  }

  /** Events of the selected calendars that overlap the window, sorted by start. */
  queryEvents(query: WindowQuery): Promise<QueryResult<EventItem>> {
    return this.#window("events", query, decode.decodeEvents);
  }

  /** Incomplete reminders of the selected lists due in [start, end), sorted by due date. */
  queryReminders(query: WindowQuery): Promise<QueryResult<ReminderItem>> {
    return this.#window("reminders", query, decode.decodeReminders);
  }

  /** Contacts of the selected accounts whose name, organisation or job title hold every word. */
  queryContacts(query: ContactQuery): Promise<QueryResult<ContactItem>> {
    const { sourceIds, query: text, limit } = query;
    return this.#call(
      { command: "query", entity: "contacts", sourceIds, query: text, limit },
      decode.decodeContacts,
    );
  }

  /**
   * Sends "shutdown" at once and resolves when every bridge process has ended. A request
   * still running rejects with "bridge_exited", and so does every later call.
   */
  close(): Promise<void> {
    if (this.#closed) return this.#closed;
    for (const call of this.#waiting.splice(0)) call.reject(closedError());
    const running = this.#process;
    if (running) {
      const id = this.#nextId();
      this.#send(running, JSON.stringify({ id, command: "shutdown" }));
      running.endInput();
    }
    this.#closed = Promise.all([...this.#live].map((process) => process.ended)).then(() => {});
    return this.#closed;
  }

  #window<T>(entity: Entity, query: WindowQuery, decoder: (result: Fields) => T): Promise<T> {
    const { sourceIds, start, end, limit } = query;
    const startText = timestamp(start);
    const endText = timestamp(end);
    // An invalid Date has no text to send; the bridge would refuse any text in its place.
    if (startText === undefined || endText === undefined) return Promise.reject(invalidRequest());
    return this.#call(
      { command: "query", entity, sourceIds, start: startText, end: endText, limit },
      decoder,
    );
  }

  #call<T>(request: Fields, decoder: (result: Fields) => T): Promise<T> {
    if (this.#closed) return Promise.reject(closedError());
    return new Promise<T>((resolve, reject) => {
      const settle = resolve as (value: unknown) => void;
      const call: Call = { request, decode: decoder, resolve: settle, reject, resent: false };
      this.#waiting.push(call);
      this.#sendNext();
    });
  }

  #sendNext(): void {
    if (this.#running || this.#closed) return;
    const call = this.#waiting.shift();
    if (!call) return;
    const process = this.#process ?? this.#start(call);
    if (!process) return this.#sendNext();
    call.id = this.#nextId();
    this.#running = call;
    this.#send(process, JSON.stringify({ id: call.id, ...call.request }));
  }

  #start(call: Call): BridgeProcess | undefined {
    try {
      const process: BridgeProcess = new BridgeProcess(this.#options.executable, this.#options.env, {
        line: (text) => this.#received(process, text),
        fault: (reason) => this.#broken(process, reason),
        end: (exit, detail) => this.#ended(process, exit, detail),
      });
      this.#process = process;
      this.#live.add(process);
      return process;
    } catch (error) {
      call.reject(exitedError({ status: null, signal: null }, `could not start it: ${String(error)}`));
      return undefined;
    }
  }

  #nextId(): string {
    this.#lastId += 1;
    return String(this.#lastId);
  }

  #send(process: BridgeProcess, line: string): void {
    this.#options.trace?.(line, "sent");
    process.send(line);
  }

  #received(process: BridgeProcess, line: string): void {
    this.#options.trace?.(line, "received");
    if (process !== this.#process) return; // a process abandoned for breaking the protocol
    let message: Message;
    try {
      message = readMessage(line);
    } catch (error) {
      return this.#broken(process, (error as Error).message);
    }
    if (message.kind === "changed") {
      this.emit("changed", message.entity);
      return;
    }
    this.#answered(process, message);
  }

  #answered(process: BridgeProcess, message: Exclude<Message, { kind: "changed" }>): void {
    const call = this.#running;
    if (this.#closed && message.id !== call?.id) return; // the answer to "shutdown"
    // A refused line the bridge could not read an id from can only be the running request.
    if (!call || (message.id !== null && message.id !== call.id)) {
      return this.#broken(process, `an answer for id ${JSON.stringify(message.id)}, which is not running`);
    }
    if (message.kind === "failure") {
      this.#running = undefined;
      call.reject(new BridgeError(message.code, message.message));
    } else {
      let value: unknown;
      try {
        value = call.decode(message.result);
      } catch (error) {
        if (!(error instanceof ProtocolFault)) throw error;
        return this.#broken(process, error.message);
      }
      this.#running = undefined;
      call.resolve(value);
    }
    this.#sendNext();
  }

  /** The process wrote something that is not protocol: kill it and reject what waits on it. */
  #broken(process: BridgeProcess, reason: string): void {
    if (process !== this.#process) return;
    this.#process = undefined;
    process.abandon();
    const calls = [this.#running, ...this.#waiting.splice(0)];
    this.#running = undefined;
    for (const call of calls) call?.reject(protocolError(reason));
  }

  #ended(process: BridgeProcess, exit: ExitInfo, detail: string): void {
    this.#live.delete(process);
    if (process === this.#process) {
      this.#process = undefined;
      const call = this.#running;
      this.#running = undefined;
      if (call && this.#unread(exit) && !call.resent) {
        call.resent = true;
        this.#waiting.unshift(call);
      } else {
        call?.reject(exitedError(exit, detail));
      }
    }
    this.emit("exit", exit);
    this.#sendNext();
  }

  /**
   * True when the running request was never read: the bridge ended with status 0 without
   * answering, and while it runs it ends that way only when its idle period ran out before
   * the request arrived (every other orderly end answers first, and the client never ends
   * its input except in close). Requests only read, so sending it again is safe.
   */
  #unread(exit: ExitInfo): boolean {
    return !this.#closed && exit.status === 0 && exit.signal === null;
  }
}

function timestamp(value: Timestamp): string | undefined {
  if (!(value instanceof Date)) return value;
  return Number.isNaN(value.getTime()) ? undefined : value.toISOString();
}
